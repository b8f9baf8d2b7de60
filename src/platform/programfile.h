#pragma once

#include "result.h"

#include <cstddef>
#include <string>

namespace velmora::platform {

// Writes the bytes to a local file as a program that can be started: creates
// or replaces the file, and on Linux makes it executable. Fails, changing
// nothing, while a program runs from the file (Linux: ETXTBSY, Windows: a
// sharing violation). On Linux the bytes never go through a link or into a
// file that stands at the path: they are written to a new file in a private
// folder beside it, which then takes the path by a rename.
Status writeProgramFile(const std::string& path, const unsigned char* data, std::size_t size);

// The error of a program file that is in use (Linux: ETXTBSY, Windows: a
// sharing violation), for a file that the program itself still keeps busy.
Error programFileInUse();

// True while a process runs from the local file (a link there is not
// followed). Always false on Windows, where the system itself guards such a
// file.
bool isRunningProgramFile(const std::string& path);

} // namespace velmora::platform
