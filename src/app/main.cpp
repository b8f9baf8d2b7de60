#include "app/startup.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int code = velmora::app::runProgram(argc, argv);
    // Closing the window ends the process without waiting for batch threads
    // still at work, as the system ends a program's threads: quick_exit runs
    // no static destructors under a thread that may still be writing a file.
    std::fflush(nullptr);
#ifdef _WIN32
    // MinGW's C runtime (msvcrt) has no quick_exit; _Exit ends the same way,
    // with no handler registered for quick_exit to run.
    std::_Exit(code);
#else
    std::quick_exit(code);
#endif
}
