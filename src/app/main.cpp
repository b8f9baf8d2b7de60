#include "app/startup.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int code = velmora::app::runProgram(argc, argv);
    // Closing the window ends the process without waiting for batch threads
    // still at work, as the system ends a program's threads: quick_exit runs
    // no static destructors under a thread that may still be writing a file.
    std::fflush(nullptr);
    std::quick_exit(code);
}
