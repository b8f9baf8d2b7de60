#include "filesystem.h"
#include "paths.h"

#ifndef _WIN32
#include "smb/smbfilesystem.h"
#endif

namespace velmora::platform {

FileSystem& fileSystemFor(const std::string& path) {
#ifdef _WIN32
    // Windows reaches \\host\share paths through its own file system calls.
    (void)path;
    return localFileSystem();
#else
    if (isNetworkPath(path)) {
        static smb::SmbFileSystem network;
        return network;
    }
    return localFileSystem();
#endif
}

} // namespace velmora::platform
