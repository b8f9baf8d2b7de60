#include "localwritablefile.h"
#include "gatheringfile.h"
#include "programfile.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#ifdef _WIN32
// Keeps windows.h from defining min and max as macros (MSVC).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "widetext.h"

#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace velmora::platform {

namespace {
// The bytes of a copy go to the disk in runs of this many: few system calls,
// while the run still fits the processor's caches.
constexpr std::size_t kLocalRun = 64 * 1024;
} // namespace

#ifdef _WIN32

namespace {

class LocalWritableFile final : public GatheringFile {
public:
    explicit LocalWritableFile(HANDLE h) : h_(h) {}
    LocalWritableFile(const LocalWritableFile&) = delete;
    LocalWritableFile& operator=(const LocalWritableFile&) = delete;
    ~LocalWritableFile() override {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
    }
    HANDLE handle() const { return h_; }

protected:
    Result<std::size_t> sendRun(const char* data, std::size_t size) override {
        if (h_ == INVALID_HANDLE_VALUE)
            return systemError(ERROR_INVALID_HANDLE);
        const auto want = static_cast<DWORD>(std::min(size, maxBytesPerSystemCall));
        DWORD put = 0;
        if (!WriteFile(h_, data, want, &put, nullptr) && put == 0)
            return lastSystemError();
        return static_cast<std::size_t>(put);
    }

    Status seekTo(std::uint64_t offset) override {
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max()))
            return systemError(ERROR_INVALID_PARAMETER);
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(h_, position, nullptr, FILE_BEGIN))
            return lastSystemError();
        return {};
    }

    Status closeHandle() override {
        if (h_ == INVALID_HANDLE_VALUE)
            return {};
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        // A share keeps written data back (delayed write) and reports a failure
        // to store it only later, when nobody looks; the flush makes it come
        // back here. The handle is closed either way.
        const bool flushed = FlushFileBuffers(h) != 0;
        const Error flushFailure = flushed ? Error{} : lastSystemError();
        const bool closed = CloseHandle(h) != 0;
        if (!flushed)
            return flushFailure;
        if (!closed)
            return lastSystemError();
        return {};
    }

    std::size_t runLimit() const override { return kLocalRun; }

private:
    HANDLE h_;
};

Result<std::unique_ptr<WritableFile>> openLocal(const std::string& path, bool create,
                                                std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<LONGLONG>::max()))
        return systemError(ERROR_INVALID_PARAMETER);
    // Shared with nobody: a second open, for reading or writing, is refused
    // with a sharing violation while this one holds the file.
    const HANDLE h =
        CreateFileW(win32::widePath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                    create ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return lastSystemError();
    auto file = std::make_unique<LocalWritableFile>(h);
    if (!create) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file->handle(), position, nullptr, FILE_BEGIN))
            return lastSystemError();
    }
    return std::unique_ptr<WritableFile>(std::move(file));
}

// The local time of a packed stamp as a FILETIME in UTC, with the
// daylight-saving offset of the stamp's own date: the reverse of what the
// directory entry does, so the stamp set is the stamp read back.
bool fileTimeFromDosTime(DosTime time, FILETIME& utc) {
    FILETIME packed{};
    SYSTEMTIME local{};
    SYSTEMTIME universal{};
    return DosDateTimeToFileTime(static_cast<WORD>(time >> 16), static_cast<WORD>(time & 0xFFFFu),
                                 &packed) &&
           FileTimeToSystemTime(&packed, &local) &&
           TzSpecificLocalTimeToSystemTime(nullptr, &local, &universal) &&
           SystemTimeToFileTime(&universal, &utc);
}

} // namespace

Status deleteLocalFile(const std::string& path) {
    const std::wstring file = win32::widePath(path);
    if (DeleteFileW(file.c_str()))
        return {};
    const Error refused = lastSystemError();
    // The system refuses to delete a read-only file, where Linux deletes it:
    // a read-only _prog.exe would otherwise block every later copy. A file
    // that stays all the same (a running program) gets its attribute back.
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (refused.code != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || (attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return refused;
    if (!SetFileAttributesW(file.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}))
        return refused;
    if (DeleteFileW(file.c_str()))
        return {};
    const Error failure = lastSystemError();
    SetFileAttributesW(file.c_str(), attributes);
    return failure;
}

Status renameLocalNoReplace(const std::string& from, const std::string& to) {
    // MoveFileW fails when anything of the new name exists.
    if (!MoveFileW(win32::widePath(from).c_str(), win32::widePath(to).c_str()))
        return lastSystemError();
    return {};
}

Status renameLocalReplacing(const std::string& from, const std::string& to) {
    if (!MoveFileExW(win32::widePath(from).c_str(), win32::widePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return lastSystemError();
    return {};
}

Status linkOrCopyLocal(const std::string& from, const std::string& to) {
    const std::wstring source = win32::widePath(from);
    const std::wstring target = win32::widePath(to);
    if (CreateHardLinkW(target.c_str(), source.c_str(), nullptr))
        return {};
    const DWORD linkError = GetLastError();
    // Only a file system without hard links (FAT, some shares) goes on to a copy.
    if (linkError != ERROR_NOT_SUPPORTED && linkError != ERROR_INVALID_FUNCTION &&
        linkError != ERROR_TOO_MANY_LINKS && linkError != ERROR_NOT_SAME_DEVICE)
        return systemError(static_cast<int>(linkError));
    // CopyFile keeps the last-write time; TRUE: never over an existing name.
    if (!CopyFileW(source.c_str(), target.c_str(), TRUE))
        return lastSystemError();
    return {};
}

Status setLocalLastWriteTime(const std::string& path, DosTime time) {
    FILETIME utc{};
    if (!fileTimeFromDosTime(time, utc))
        return lastSystemError();
    const HANDLE h = CreateFileW(win32::widePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return lastSystemError();
    const bool set = SetFileTime(h, nullptr, nullptr, &utc) != 0;
    const Error failure = set ? Error{} : lastSystemError();
    CloseHandle(h);
    if (!set)
        return failure;
    return {};
}

#else

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

class LocalWritableFile final : public GatheringFile {
public:
    explicit LocalWritableFile(int fd) : fd_(fd) {}
    LocalWritableFile(const LocalWritableFile&) = delete;
    LocalWritableFile& operator=(const LocalWritableFile&) = delete;
    ~LocalWritableFile() override {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int descriptor() const { return fd_; }

protected:
    Result<std::size_t> sendRun(const char* data, std::size_t size) override {
        if (fd_ < 0)
            return systemError(EBADF);
        for (;;) {
            const ssize_t put = ::write(fd_, data, std::min(size, maxBytesPerSystemCall));
            if (put >= 0)
                return static_cast<std::size_t>(put);
            if (errno != EINTR)
                return lastSystemError();
        }
    }

    Status seekTo(std::uint64_t offset) override {
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
            return systemError(EINVAL);
        if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
            return lastSystemError();
        return {};
    }

    Status closeHandle() override {
        if (fd_ < 0)
            return {};
        const int fd = fd_;
        fd_ = -1;
        // The descriptor is released even when close() fails (on Linux also with
        // EINTR), so it is not closed again; the failure is the caller's to see.
        if (::close(fd) != 0)
            return lastSystemError();
        return {};
    }

    std::size_t runLimit() const override { return kLocalRun; }

private:
    int fd_;
};

Result<std::unique_ptr<WritableFile>> openLocal(const std::string& path, bool create,
                                                std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return systemError(EINVAL);
    // Not O_TRUNC: the file is cut only once this holder has the lock, so a
    // file that another writer holds keeps its content.
    const int flags = O_WRONLY | O_CLOEXEC | (create ? O_CREAT : 0);
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return lastSystemError();
    auto file = std::make_unique<LocalWritableFile>(fd);

    int locked = -1;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0)
        return errno == EWOULDBLOCK ? systemError(EBUSY) : lastSystemError();

    if (create) {
        struct stat info {};
        if (::fstat(fd, &info) != 0)
            return lastSystemError();
        // As with O_TRUNC only a regular file is cut; a device is written as it
        // is. A file that is empty already is left alone: on ext4 a cut to
        // nothing makes the close wait for the file's blocks to be allocated.
        if (S_ISREG(info.st_mode) && info.st_size > 0 && ::ftruncate(fd, 0) != 0)
            return lastSystemError();
    } else if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return lastSystemError();
    }
    return std::unique_ptr<WritableFile>(std::move(file));
}

int renameWithoutReplacing(const char* from, const char* to) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28))
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
#elif defined(SYS_renameat2)
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to,
                                      static_cast<unsigned>(RENAME_NOREPLACE)));
#else
    (void)from;
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

// Copies a regular file to a new name (never over an existing one, never
// through a link), with the source's permissions and times. A copy that
// cannot be finished is removed again.
Status copyLocalFile(const std::string& from, const std::string& to) {
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0)
        return lastSystemError();
    struct stat info {};
    if (::fstat(source, &info) != 0) {
        const Error failure = lastSystemError();
        ::close(source);
        return failure;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(source);
        return systemError(EINVAL);
    }
    const int target =
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
    if (target < 0) {
        const Error failure = lastSystemError();
        ::close(source);
        return failure;
    }
    Status copied;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(source, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            copied = lastSystemError();
            break;
        }
        if (got == 0)
            break;
        ssize_t put = 0;
        while (put < got) {
            const ssize_t n = ::write(target, buffer + put, static_cast<std::size_t>(got - put));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                copied = n < 0 ? lastSystemError() : systemError(ENOSPC);
                break;
            }
            put += n;
        }
        if (!copied)
            break;
    }
    if (copied) {
        const timespec times[2] = {info.st_atim, info.st_mtim};
        if (::futimens(target, times) != 0)
            copied = lastSystemError();
    }
    if (::close(target) != 0 && copied)
        copied = lastSystemError();
    ::close(source);
    if (!copied)
        ::unlink(to.c_str());
    return copied;
}

} // namespace

Status deleteLocalFile(const std::string& path) {
    // As on Windows, the file of a running program stays: deleting it would
    // only take its name, and a program started from it a moment later (from a
    // terminal, say) would find it gone.
    if (isRunningProgramFile(path))
        return systemError(ETXTBSY);
    // Fails for a folder (EISDIR).
    if (::unlink(path.c_str()) != 0)
        return lastSystemError();
    return {};
}

Status renameLocalNoReplace(const std::string& from, const std::string& to) {
    if (renameWithoutReplacing(from.c_str(), to.c_str()) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return lastSystemError();

    // The file system (or the kernel) cannot rename without replacing. A hard
    // link cannot replace anything either: link() fails with EEXIST when the
    // new name exists. This works for regular files only.
    const Error unsupported = lastSystemError();
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0)
        return lastSystemError();
    if (!S_ISREG(info.st_mode))
        return unsupported;
    if (::link(from.c_str(), to.c_str()) != 0)
        return lastSystemError();
    if (::unlink(from.c_str()) != 0) {
        const Error failure = lastSystemError();
        // Drop the new name again, so a failed rename changes nothing.
        ::unlink(to.c_str());
        return failure;
    }
    return {};
}

Status renameLocalReplacing(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0)
        return lastSystemError();
    return {};
}

Status linkOrCopyLocal(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0)
        return {};
    // Only a file system without hard links (EPERM on FAT and some FUSE file
    // systems, or where links are not allowed to this user) goes on to a copy;
    // a name that is taken, or a file that is not there, ends here.
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK &&
        errno != EXDEV)
        return lastSystemError();
    return copyLocalFile(from, to);
}

Status setLocalLastWriteTime(const std::string& path, DosTime time) {
    const std::time_t moment = unixTimeFromDosTime(time);
    if (moment == static_cast<std::time_t>(-1))
        return systemError(EINVAL);
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT; // the last access stays as it is
    times[1].tv_sec = moment;
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        return lastSystemError();
    return {};
}

#endif

Result<std::unique_ptr<WritableFile>> createLocalFile(const std::string& path) {
    return openLocal(path, true, 0);
}

Result<std::unique_ptr<WritableFile>> reopenLocalFile(const std::string& path,
                                                      std::uint64_t offset) {
    return openLocal(path, false, offset);
}

} // namespace velmora::platform
