#include "batch/processend.h"

#include "batch/placementgate.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace velmora::batch {

void endProcess(int code, const std::function<void()>& lastSteps) {
    // A placement is bounded by itself (its settle time and the network
    // time-outs of its requests); the limit here guards only against the
    // unforeseen.
    (void)PlacementGate::instance().closeAndWait(std::chrono::minutes(3));
    if (lastSteps)
        lastSteps();
    std::fflush(nullptr);
#ifdef _WIN32
    // MinGW's C runtime (msvcrt) has no quick_exit; _Exit ends the same way,
    // with no handler registered for quick_exit to run.
    std::_Exit(code);
#else
    std::quick_exit(code);
#endif
}

} // namespace velmora::batch
