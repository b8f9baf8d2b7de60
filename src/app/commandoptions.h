#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace velmora::app {

// The program's version, from the build.
const char* programVersion();

// --help (-h) and --version, answered before any window or display is needed:
// the text goes to out and the exit code (0) comes back. No code for any other
// arguments, which are left to Qt (the program itself takes none).
std::optional<int> answerInformationOptions(int argc, char** argv, std::FILE* out);

// The --help text, with the places the program uses on this machine.
std::string helpText(const std::string& programFolder);

} // namespace velmora::app
