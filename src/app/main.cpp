#include "app/startup.h"
#include "batch/placementgate.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int code = velmora::app::runProgram(argc, argv);
    // Closing the window ends the process without waiting for copies that are
    // still writing their temporary file; a copy that has begun to put its
    // file in place finishes first, so no server is left between its renames.
    // A placement is bounded by itself (its settle time and the network
    // time-outs); the limit here only guards against the unforeseen.
    (void)velmora::batch::PlacementGate::instance().closeAndWait(std::chrono::minutes(3));
    // quick_exit runs no static destructors under a thread that may still be
    // writing a file.
    std::fflush(nullptr);
    std::quick_exit(code);
}
