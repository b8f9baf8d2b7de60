#include "serverlist/serverquery.h"

namespace velmora::serverlist {

void ServerQuery::close() {
    open_ = false;
}

} // namespace velmora::serverlist
