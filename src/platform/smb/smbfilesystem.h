#pragma once

#include "platform/filesystem.h"

#include <sys/types.h>

namespace velmora::platform::smb {

// The file system of \\host\share paths, reached with the SMB client library
// through the calling thread's helper process (smbsession.h). Windows' meaning
// is kept where the library differs: a rename never replaces, the folder test
// reads attributes only, and data that the server refuses at close fails the
// close.
//
// Writes are gathered, as Windows' client cache does: a file's blocks go to the
// server together when it is closed (or when 1 MiB has gathered), so a worker
// that writes small blocks and reopens every 64 KiB sends one write per reopen.
class SmbFileSystem final : public FileSystem {
public:
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
};

// The attributes that the library's mode bits stand for: no owner write bit
// for read-only, and for files the execute bits for archive (owner), system
// (group) and hidden (others).
std::uint32_t attributesFromMode(mode_t mode);

} // namespace velmora::platform::smb
