#include "platform/userwarning.h"

#include <cstdio>
#include <mutex>

namespace velmora::platform {

void warnUser(const std::string& text) {
    // Whole lines, also when two threads warn at once.
    static std::mutex lock;
    const std::lock_guard guard(lock);
    std::fprintf(stderr, "velmora: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace velmora::platform
