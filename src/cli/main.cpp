#include "batch/processend.h"
#include "cli/program.h"
#include "platform/interrupts.h"

#include <cstdio>

int main(int argc, char** argv) {
    // First, before any thread: Ctrl-C and SIGTERM become requests that the
    // run answers by aborting its copies in order.
    if (!velmora::platform::watchInterrupts())
        std::fputs("velmora-cli: cannot catch Ctrl-C; it will end the program at once\n", stderr);
    const int code = velmora::cli::runCommandLine(argc, argv);
    // As the window does at its close: copies that have begun to put their
    // file in place finish, so no server is left between its renames.
    velmora::batch::endProcess(code);
}
