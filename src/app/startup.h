#pragma once

namespace velmora::app {

// The program's entry: refuses to start without serveri.txt beside the
// executable, otherwise shows the main window and runs until it is closed.
int runProgram(int argc, char** argv);

} // namespace velmora::app
