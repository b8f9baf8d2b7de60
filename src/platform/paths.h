#pragma once

#include <string>
#include <string_view>

// Path splitting and joining in the program's own rules. Server rows and the file
// set use Windows paths: "\" and ":" end the folder part, and "/" too, which
// Windows takes for "\" (Qt's paths are written with it). On Linux ":" does
// not (there are no drive letters), and the local file system takes "\" as
// "/". A network row (\\host\share) is always joined with "\".
namespace velmora::platform {

// True for a character that ends a folder part on this system.
bool isPathDelimiter(char c);

// True when the path names a network share: it begins with two "\".
bool isNetworkPath(std::string_view path);

// The folder part: everything up to and including the last delimiter;
// empty when there is none.
std::string folderPart(std::string_view path);

// The file-name part: everything after the last delimiter; the whole path
// when there is none.
std::string fileNamePart(std::string_view path);

// The folder part without its final delimiter, except where that delimiter is
// the first character or follows another delimiter or a drive colon, so a root
// such as "C:\" or "/" keeps it.
std::string folderWithoutTrailingDelimiter(std::string_view path);

// The folder followed by one separator and the name, joined as they stand: a
// folder that already ends in a separator gives two. The separator is "\" for a
// network folder and on Windows, "/" for a local folder on Linux.
std::string joinPath(std::string_view folder, std::string_view name);

// The path as the local file system takes it: on Linux every "\" becomes "/";
// on Windows the path is unchanged. For the program's own paths (server rows);
// a native path (nativeFileSystem) never goes through it.
std::string localSystemPath(std::string_view path);

// The folder of a native path, one that the system itself gave (the file dialog),
// without its final separator, a root such as "/" or "C:\" keeping it: on Linux
// only "/" separates, so a "\" stays part of a name; on Windows this is
// folderWithoutTrailingDelimiter.
std::string nativeFolderOf(std::string_view path);

} // namespace velmora::platform
