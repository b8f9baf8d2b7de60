#pragma once

#include "filesystem.h"

namespace velmora::platform {

// The file system of this machine. Every path is first turned into the local
// system's form (localSystemPath). On Linux the directory entry is made up the
// way Windows reports it: a folder has size 0 and the folder attribute, a
// regular file the archive attribute, a file without the owner's write
// permission is read-only and a name beginning with "." is hidden.
class LocalFileSystem final : public FileSystem {
public:
    Result<std::vector<char>> readWholeFile(const std::string& path) override;
    Result<DirectoryEntry> findEntry(const std::string& path) override;
    bool fileExists(const std::string& path) override;
    bool directoryExists(const std::string& path) override;
};

} // namespace velmora::platform
