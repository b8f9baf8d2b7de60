#include "platform/userwarning.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace velmora::platform {

namespace {
std::mutex& warningLock() {
    static std::mutex lock;
    return lock;
}
std::function<void(const std::string&)>& recorder() {
    static std::function<void(const std::string&)> record;
    return record;
}
} // namespace

void warnUser(const std::string& text) {
    // Whole lines, also when two threads warn at once.
    const std::lock_guard guard(warningLock());
    std::fprintf(stderr, "velmora: %s\n", text.c_str());
    std::fflush(stderr);
    if (recorder())
        recorder()(text);
}

void recordWarningsWith(std::function<void(const std::string& text)> record) {
    const std::lock_guard guard(warningLock());
    recorder() = std::move(record);
}

} // namespace velmora::platform
