#pragma once

#include <string>

namespace velmora::platform {

// The folder of the running executable, ending in a path separator; empty when
// the system cannot tell.
std::string executableFolder();

// The user's temporary folder, ending in a path separator.
std::string userTempFolder();

} // namespace velmora::platform
