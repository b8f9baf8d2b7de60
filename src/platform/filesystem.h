#pragma once

#include "dostime.h"
#include "result.h"

#include <cstdint>
#include <string>
#include <vector>

// The file system as the program uses it, on the program's own paths (see
// paths.h). Every operation returns its result as a value; nothing throws.
namespace velmora::platform {

// Windows file attribute bits, as the directory entry reports them.
enum FileAttribute : std::uint32_t {
    AttrReadOnly = 0x01,
    AttrHidden = 0x02,
    AttrSystem = 0x04,
    AttrDirectory = 0x10,
    AttrArchive = 0x20,
};

// What a directory entry says of one file.
struct DirectoryEntry {
    std::uint64_t size = 0;
    DosTime time = 0; // last write, packed local time
    std::uint32_t attributes = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // The whole content of a file, read while others may read but not write it.
    virtual Result<std::vector<char>> readWholeFile(const std::string& path) = 0;
    // The entry of a file or folder of any attributes.
    virtual Result<DirectoryEntry> findEntry(const std::string& path) = 0;
    // A file (not a folder) exists at the path.
    virtual bool fileExists(const std::string& path) = 0;
    // The path's attributes can be read and carry the folder attribute.
    virtual bool directoryExists(const std::string& path) = 0;
};

// The file system that serves a path: the local one for local paths.
FileSystem& fileSystemFor(const std::string& path);

// The local file system of this machine.
FileSystem& localFileSystem();

} // namespace velmora::platform
