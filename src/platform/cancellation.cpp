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

UncancellableScope::UncancellableScope() : saved_(cancelFlag) {
    cancelFlag = nullptr;
}

UncancellableScope::~UncancellableScope() {
    cancelFlag = saved_;
}

} // namespace velmora::platform
