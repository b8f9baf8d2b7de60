#pragma once

#include "filesystem.h"

namespace velmora::platform {

// The file system of this machine. The program's own paths (server rows) are
// first turned into the local system's form (localSystemPath); native paths,
// those the system itself gave (nativeFileSystem), reach it unchanged. On Linux the directory entry
// is made up the way Windows reports it: a folder has size 0 and the folder attribute, a regular
// file the archive attribute, a file without the owner's write permission is read-only and a name
// beginning with "." is hidden. A file open for writing is shared with nobody who opens it through
// this layer: it holds an exclusive flock, which keeps out only those who ask for a lock
// themselves.
class LocalFileSystem final : public FileSystem {
public:
    enum class PathForm {
        ProgramRules, // "\" separates as "/" does (localSystemPath)
        Native,       // as the system gave it: on Linux "\" is part of a name
    };
    explicit LocalFileSystem(PathForm form = PathForm::ProgramRules) : form_(form) {}

    Result<std::vector<char>> readWholeFile(const std::string& path) override;
    Result<DirectoryEntry> findEntry(const std::string& path) override;
    bool fileExists(const std::string& path) override;
    bool directoryExists(const std::string& path) override;

    Result<std::unique_ptr<WritableFile>> createForWriting(const std::string& path) override;
    Result<std::unique_ptr<WritableFile>> reopenForWriting(const std::string& path,
                                                           std::uint64_t offset) override;
    Status deleteFile(const std::string& path) override;
    Status renameNoReplace(const std::string& from, const std::string& to) override;
    bool replacesInOneStep(const std::string& path) override;
    Status renameReplacing(const std::string& from, const std::string& to) override;
    Status linkOrCopy(const std::string& from, const std::string& to) override;
    Status setLastWriteTime(const std::string& path, DosTime time) override;

private:
    std::string systemPath(const std::string& path) const;

    PathForm form_;
};

} // namespace velmora::platform
