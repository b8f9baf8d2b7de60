#pragma once

#include "support/scratchfolder.h"

#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace velmora::testsupport {

// Writes the bytes as the whole file.
inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(fromUtf8Path(path), std::ios::binary | std::ios::trunc) << bytes;
}

// The whole file's bytes; "<missing>" when it cannot be opened.
inline std::string readFile(const std::string& path) {
    std::ifstream in(fromUtf8Path(path), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

// Sets the file's last write to the moment (seconds since 1970 UTC); the last
// access stays. False when the system refuses.
inline bool setModified(const std::string& path, std::time_t when) {
#ifdef _WIN32
    const HANDLE file = CreateFileW(fromUtf8Path(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // FILETIME counts 100 ns steps from 1601.
    const unsigned long long ticks =
        (static_cast<unsigned long long>(when) + 11644473600ULL) * 10000000ULL;
    FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const bool set = SetFileTime(file, nullptr, nullptr, &written) != 0;
    CloseHandle(file);
    return set;
#else
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = when;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
}

// What tells one version of a file from another that took its name: the file
// itself (device and inode, or volume and file index) and its last write.
struct FileIdentity {
    unsigned long long volume = 0;
    unsigned long long index = 0;
    long long modified = 0;
    bool operator==(const FileIdentity&) const = default;
};

inline FileIdentity identityOf(const std::string& path) {
    FileIdentity identity;
#ifdef _WIN32
    const HANDLE file = CreateFileW(fromUtf8Path(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info)) {
        identity.volume = info.dwVolumeSerialNumber;
        identity.index =
            (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        identity.modified = static_cast<long long>(
            (static_cast<unsigned long long>(info.ftLastWriteTime.dwHighDateTime) << 32) |
            info.ftLastWriteTime.dwLowDateTime);
    }
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
#else
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        identity.volume = info.st_dev;
        identity.index = info.st_ino;
        identity.modified = info.st_mtime;
    }
#endif
    return identity;
}

} // namespace velmora::testsupport
