#include "nettools/hostname.h"

namespace velmora::nettools {

std::optional<std::string> hostNameOf(const std::string& serverPath) {
    if (serverPath.size() < 3 || serverPath[0] != '\\' || serverPath[1] != '\\')
        return std::nullopt;
    const std::size_t end = serverPath.find('\\', 2);
    return serverPath.substr(2, end == std::string::npos ? std::string::npos : end - 2);
}

} // namespace velmora::nettools
