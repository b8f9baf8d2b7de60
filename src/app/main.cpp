#include "app/programend.h"
#include "app/startup.h"

int main(int argc, char** argv) {
    // Closing the window ends the process without waiting for copies that are
    // still writing their temporary file; see endProgram.
    velmora::app::endProgram(velmora::app::runProgram(argc, argv));
}
