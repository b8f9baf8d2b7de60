#pragma once

#include <optional>
#include <string>
#include <string_view>

// The character set of the server list. Its rows stay bytes: a local row
// reaches the file system byte for byte. What leaves the program in another
// encoding is converted from it: a network path for the SMB client and the
// desktop's opener (UTF-8 URLs), a host name for ping (the system's set).
namespace velmora::platform {

// The set of serveri.txt: the one named by VELMORA_LIST_CHARSET (such as
// "windows-1250" for a list kept on a Serbian Windows machine), else the
// system's (systemCharacterSet). A name the system cannot convert from is
// warned about once and the system's set taken instead. On Windows always the
// system's: its file calls take the rows' bytes in the ANSI code page.
std::string listCharacterSet();

// A row's text as UTF-8; none when it is not valid in the list's set.
std::optional<std::string> listTextAsUtf8(std::string_view text);

// A row's text in the system's set; unchanged when it has no place there.
std::string listTextForSystem(std::string_view text);

// The file-name part of the file set's path (a local name, in the system's
// set) as the name of the server's copy in a row's folder: in the list's set
// for a network row, whose path is converted from that set as a whole; as it
// stands for a local row, which reaches the same file system as the file.
// Either way it is the text after the last "\" (or "/" on Linux).
std::string fileNameForRow(std::string_view rowPath, std::string_view localPath);

} // namespace velmora::platform
