#include "cancellation.h"

namespace velmora::platform {

namespace {
thread_local const std::atomic<bool>* cancelFlag = nullptr;
}

void setThreadCancelFlag(const std::atomic<bool>* flag) {
    cancelFlag = flag;
}

bool threadCancelRequested() {
    return cancelFlag && cancelFlag->load();
}

} // namespace velmora::platform
