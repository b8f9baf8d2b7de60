#pragma once

#include <string>

namespace velmora::platform {

// The name of the character set in which the system keeps plain text files
// such as serveri.txt: the ANSI code page on Windows ("windows-1250" on
// Serbian systems), the locale's character set on Linux ("UTF-8" normally).
std::string systemCharacterSet();

} // namespace velmora::platform
