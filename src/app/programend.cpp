#include "app/programend.h"

#include "app/journal.h"
#include "batch/placementgate.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace velmora::app {

void endProgram(int code) {
    // A placement is bounded by itself (its settle time and the network
    // time-outs); the limit here only guards against the unforeseen.
    (void)batch::PlacementGate::instance().closeAndWait(std::chrono::minutes(3));
    // The journal's records arrive on the main thread, which is here now: what
    // is queued is all there will be. A disk that does not answer is not
    // waited for without end.
    (void)flushProgramJournal(std::chrono::seconds(10));
    std::fflush(nullptr);
    std::quick_exit(code);
}

} // namespace velmora::app
