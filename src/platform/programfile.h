#pragma once

#include "result.h"

#include <cstddef>
#include <string>

namespace velmora::platform {

// Writes the bytes to a local file as a program that can be started: creates
// or replaces the file, and on Linux makes it executable. Fails, changing
// nothing, while a program runs from the file (Linux: ETXTBSY, Windows: a
// sharing violation).
Status writeProgramFile(const std::string& path, const unsigned char* data, std::size_t size);

// True while a process runs from the local file. Always false on Windows,
// where the system itself guards such a file.
bool isRunningProgramFile(const std::string& path);

} // namespace velmora::platform
