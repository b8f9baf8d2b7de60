#include "filesystem.h"
#include "paths.h"

#ifndef _WIN32
#include <cerrno>
#endif

namespace velmora::platform {

namespace {

#ifndef _WIN32
// Stands in for network shares until this build can reach them itself: every
// operation fails with the same clear reason.
class UnavailableNetworkFileSystem final : public FileSystem {
public:
    Result<std::vector<char>> readWholeFile(const std::string&) override { return unavailable(); }
    Result<DirectoryEntry> findEntry(const std::string&) override { return unavailable(); }
    bool fileExists(const std::string&) override { return false; }
    bool directoryExists(const std::string&) override { return false; }
    Result<std::unique_ptr<WritableFile>> createForWriting(const std::string&) override {
        return unavailable();
    }
    Result<std::unique_ptr<WritableFile>> reopenForWriting(const std::string&,
                                                           std::uint64_t) override {
        return unavailable();
    }
    Status deleteFile(const std::string&) override { return unavailable(); }
    Status renameNoReplace(const std::string&, const std::string&) override {
        return unavailable();
    }
    Status setLastWriteTime(const std::string&, DosTime) override { return unavailable(); }

private:
    static Error unavailable() {
        return Error{ENOTSUP,
                     "Network shares (\\\\host\\share) cannot be reached by this build yet"};
    }
};
#endif

} // namespace

FileSystem& fileSystemFor(const std::string& path) {
#ifdef _WIN32
    // Windows reaches \\host\share paths through its own file system calls.
    (void)path;
    return localFileSystem();
#else
    if (isNetworkPath(path)) {
        static UnavailableNetworkFileSystem network;
        return network;
    }
    return localFileSystem();
#endif
}

} // namespace velmora::platform
