#include "localfilesystem.h"

#include "localwritablefile.h"
#include "paths.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>

#ifdef _WIN32
// Keeps windows.h from defining min and max as macros (MSVC).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "widetext.h"

#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmora::platform {

namespace {

#ifdef _WIN32

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

Result<std::vector<char>> readWholeLocalFile(const std::string& path) {
    Handle file(CreateFileW(win32::widePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                            nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        return lastSystemError();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size))
        return lastSystemError();
    const auto expected = static_cast<unsigned long long>(size.QuadPart);
    if (expected > std::numeric_limits<std::size_t>::max())
        return systemError(ERROR_NOT_ENOUGH_MEMORY);
    std::vector<char> data(static_cast<std::size_t>(expected));
    std::size_t done = 0;
    while (done < data.size()) {
        const auto want = static_cast<DWORD>(std::min(data.size() - done, maxBytesPerSystemCall));
        DWORD got = 0;
        if (!ReadFile(file.get(), data.data() + done, want, &got, nullptr))
            return lastSystemError();
        if (got == 0)
            break;
        done += got;
    }
    data.resize(done);
    return data;
}

// A FILETIME in UTC as the packed local time of that moment, with the
// daylight-saving offset of the file's own date (FileTimeToLocalFileTime would
// use today's: a July file would read an hour off in December).
DosTime dosTimeFromFileTime(const FILETIME& utc) {
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return packDosTime(LocalDateTime{});
    // Outside 1980..2107 the fields clamp.
    return packDosTime(LocalDateTime{local.wYear, local.wMonth, local.wDay, local.wHour,
                                     local.wMinute, local.wSecond});
}

Result<DirectoryEntry> findLocalEntry(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(win32::widePath(path).c_str(), GetFileExInfoStandard, &data))
        return lastSystemError();
    DirectoryEntry entry;
    entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.time = dosTimeFromFileTime(data.ftLastWriteTime);
    entry.attributes = data.dwFileAttributes;
    return entry;
}

bool localFileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(win32::widePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool localDirectoryExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(win32::widePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

#else

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads into data from offset done until the buffer is full or the file ends;
// returns the new offset or -1 with errno set.
long long readInto(int fd, char* data, std::size_t size, std::size_t done) {
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, std::min(size - done, maxBytesPerSystemCall));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long long>(done);
}

// Only a regular file has a whole content: devices and pipes have none
// (/dev/zero never ends), and opening a named pipe would wait for a writer.
Status wholeContentKind(const struct stat& info) {
    if (S_ISDIR(info.st_mode))
        return systemError(EISDIR);
    if (!S_ISREG(info.st_mode))
        return systemError(EINVAL);
    return {};
}

Result<std::vector<char>> readWholeLocalFile(const std::string& path) {
    // The type is tested before the open, so that nothing but a regular file is
    // opened at all; the open does not wait either, should a pipe have taken
    // the name in between.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return lastSystemError();
    if (Status kind = wholeContentKind(info); !kind)
        return kind.error();
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0)
        return lastSystemError();
    if (::fstat(file.get(), &info) != 0)
        return lastSystemError();
    if (Status kind = wholeContentKind(info); !kind)
        return kind.error();
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return lastSystemError();
    const auto expected = static_cast<unsigned long long>(std::max<off_t>(info.st_size, 0));
    if (expected > std::numeric_limits<std::size_t>::max())
        return systemError(EFBIG);

    std::vector<char> data(static_cast<std::size_t>(expected));
    long long done = readInto(file.get(), data.data(), data.size(), 0);
    if (done < 0)
        return lastSystemError();
    data.resize(static_cast<std::size_t>(done));
    if (data.size() < expected)
        return data;

    // The size can be out of date (a growing file, or one the system reports as
    // empty, as in /proc): read on until the end.
    char more[65536];
    for (;;) {
        const long long got = readInto(file.get(), more, sizeof more, 0);
        if (got < 0)
            return lastSystemError();
        if (got == 0)
            break;
        data.insert(data.end(), more, more + got);
    }
    return data;
}

bool statPath(const std::string& path, struct stat& info) {
    return ::stat(path.c_str(), &info) == 0;
}

bool isHiddenName(const std::string& name) {
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

Result<DirectoryEntry> findLocalEntry(const std::string& path) {
    struct stat info {};
    if (!statPath(path, info))
        return lastSystemError();
    DirectoryEntry entry;
    entry.time = dosTimeFromUnixTime(info.st_mtime);
    if (S_ISDIR(info.st_mode)) {
        entry.attributes |= AttrDirectory;
    } else {
        entry.size = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
        if (S_ISREG(info.st_mode))
            entry.attributes |= AttrArchive;
    }
    if ((info.st_mode & S_IWUSR) == 0)
        entry.attributes |= AttrReadOnly;
    // The name of the entry itself: the path may end in "/" for a folder. The
    // path is in the system's form here, where only "/" separates.
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    if (isHiddenName(trimmed.substr(trimmed.rfind('/') + 1)))
        entry.attributes |= AttrHidden;
    return entry;
}

bool localFileExists(const std::string& path) {
    struct stat info {};
    return statPath(path, info) && !S_ISDIR(info.st_mode);
}

bool localDirectoryExists(const std::string& path) {
    struct stat info {};
    return statPath(path, info) && S_ISDIR(info.st_mode);
}

#endif

} // namespace

std::string LocalFileSystem::systemPath(const std::string& path) const {
    return form_ == PathForm::Native ? path : localSystemPath(path);
}

Result<std::vector<char>> LocalFileSystem::readWholeFile(const std::string& path) {
    // A file larger than the memory the process can have is a failure to
    // report, not a fault of the program.
    try {
        return readWholeLocalFile(systemPath(path));
    } catch (const std::bad_alloc&) {
#ifdef _WIN32
        return systemError(ERROR_NOT_ENOUGH_MEMORY);
#else
        return systemError(ENOMEM);
#endif
    }
}

Result<DirectoryEntry> LocalFileSystem::findEntry(const std::string& path) {
    return findLocalEntry(systemPath(path));
}

bool LocalFileSystem::fileExists(const std::string& path) {
    return localFileExists(systemPath(path));
}

bool LocalFileSystem::directoryExists(const std::string& path) {
    return localDirectoryExists(systemPath(path));
}

Result<std::unique_ptr<WritableFile>> LocalFileSystem::createForWriting(const std::string& path) {
    return createLocalFile(systemPath(path));
}

Result<std::unique_ptr<WritableFile>> LocalFileSystem::reopenForWriting(const std::string& path,
                                                                        std::uint64_t offset) {
    return reopenLocalFile(systemPath(path), offset);
}

Status LocalFileSystem::deleteFile(const std::string& path) {
    return deleteLocalFile(systemPath(path));
}

Status LocalFileSystem::renameNoReplace(const std::string& from, const std::string& to) {
    return renameLocalNoReplace(systemPath(from), systemPath(to));
}

bool LocalFileSystem::replacesInOneStep(const std::string&) {
    // POSIX rename() and Windows' MoveFileEx with MOVEFILE_REPLACE_EXISTING
    // both replace in one step.
    return true;
}

Status LocalFileSystem::renameReplacing(const std::string& from, const std::string& to) {
    return renameLocalReplacing(localSystemPath(from), localSystemPath(to));
}

Status LocalFileSystem::linkOrCopy(const std::string& from, const std::string& to) {
    return linkOrCopyLocal(localSystemPath(from), localSystemPath(to));
}

Status LocalFileSystem::setLastWriteTime(const std::string& path, DosTime time) {
    return setLocalLastWriteTime(systemPath(path), time);
}

FileSystem& localFileSystem() {
    static LocalFileSystem instance;
    return instance;
}

FileSystem& nativeFileSystem() {
    static LocalFileSystem instance(LocalFileSystem::PathForm::Native);
    return instance;
}

} // namespace velmora::platform
