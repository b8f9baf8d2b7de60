#include "app/startup.h"
#include "batch/processend.h"

int main(int argc, char** argv) {
    const int code = velmora::app::runProgram(argc, argv);
    // Closing the window ends the process without waiting for copies that are
    // still writing; copies in their renames finish first.
    velmora::batch::endProcess(code);
}
