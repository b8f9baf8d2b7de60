#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform::smb {

// The client library's URL for a network path: \\host\share\folder\file
// becomes smb://host/share/folder/file. Either "\" or "/" separates; runs of
// separators count as one. Bytes that the URL syntax would take as its own
// (such as "%", "?", "#", "@", ":"), blanks and the bytes of non-ASCII names are
// percent-encoded, so every name reaches the server, or the desktop's opener,
// as written. Nothing for a path without a host.
std::optional<std::string> smbUrlFor(std::string_view networkPath);

} // namespace velmora::platform::smb
