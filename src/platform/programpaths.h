#pragma once

#include <string>

namespace velmora::platform {

// The folder of the running executable, ending in a path separator; empty when
// the system cannot tell.
std::string executableFolder();

// The user's temporary folder, ending in a path separator.
std::string userTempFolder();

// The user's folders for settings and for state kept between runs, without a
// trailing separator; empty when the system cannot tell. On Linux
// $XDG_CONFIG_HOME (else ~/.config) and $XDG_STATE_HOME (else ~/.local/state),
// where a relative value counts as unset; on Windows %APPDATA% and
// %LOCALAPPDATA%.
std::string userConfigFolder();
std::string userStateFolder();

} // namespace velmora::platform
