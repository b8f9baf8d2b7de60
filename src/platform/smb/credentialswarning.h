#pragma once

#include <string>

namespace velmora::platform::smb {

// Warns the user (platform::warnUser) when the credentials file handed to the
// helpers may be read or written by others than its owner, as ssh does for a
// private key; the file is used all the same. Once per file in a process, not
// once per helper; nothing when there is no such file.
void warnIfCredentialsFileIsOpen(const std::string& path);

// The warning's text for a file and its permission bits.
std::string openCredentialsWarning(const std::string& path, unsigned permissions);

} // namespace velmora::platform::smb
