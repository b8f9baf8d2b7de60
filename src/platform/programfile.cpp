#include "programfile.h"

#include "filesystem.h"
#include "paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#endif

namespace velmora::platform {

#ifdef _WIN32

Status writeProgramFile(const std::string& path, const unsigned char* data, std::size_t size) {
    FileSystem& files = localFileSystem();
    auto created = files.createForWriting(path);
    if (!created)
        return created.error();
    const auto& file = created.value();
    std::size_t done = 0;
    while (done < size) {
        auto written = file->write(reinterpret_cast<const char*>(data) + done, size - done);
        if (!written)
            return written.error();
        if (written.value() == 0)
            return systemError(ERROR_DISK_FULL);
        done += written.value();
    }
    return file->close();
}

Error programFileInUse() {
    return systemError(ERROR_SHARING_VIOLATION);
}

bool isRunningProgramFile(const std::string&) {
    return false;
}

#else

namespace {

// Writes all bytes to the descriptor, then makes the file a program and closes it.
Status fillProgram(int fd, const unsigned char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, size - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return lastSystemError();
        if (written == 0)
            return systemError(ENOSPC);
        done += static_cast<std::size_t>(written);
    }
    if (::fchmod(fd, 0755) != 0)
        return lastSystemError();
    return {};
}

// The bytes go to a fresh file in a folder of our own (mkdtemp: mode 0700, a
// name nobody can guess), created exclusively; only the finished program takes
// the path, by a rename, which replaces a link that stands there instead of
// writing through it. In a shared temporary folder another user can thus
// neither have us write into a file of their choosing nor swap the program.
Status writeThroughPrivateFolder(const std::string& file, const unsigned char* data,
                                 std::size_t size) {
    const std::size_t slash = file.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    const std::string name = file.substr(folder.size());
    std::string pattern = folder + "." + name + ".XXXXXX";
    std::vector<char> privateFolder(pattern.begin(), pattern.end());
    privateFolder.push_back('\0');
    if (::mkdtemp(privateFolder.data()) == nullptr)
        return lastSystemError();
    const std::string fresh = std::string(privateFolder.data()) + "/" + name;

    Status result;
    const int fd =
        ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (fd < 0) {
        result = lastSystemError();
    } else {
        result = fillProgram(fd, data, size);
        if (::close(fd) != 0 && result.ok())
            result = lastSystemError();
        if (result.ok() && ::rename(fresh.c_str(), file.c_str()) != 0)
            result = lastSystemError();
        if (!result.ok())
            ::unlink(fresh.c_str());
    }
    ::rmdir(privateFolder.data());
    return result;
}

} // namespace

Status writeProgramFile(const std::string& path, const unsigned char* data, std::size_t size) {
    const std::string file = localSystemPath(path);
    // A rename would replace a running program as well; keep Windows' refusal.
    if (isRunningProgramFile(file))
        return programFileInUse();
    return writeThroughPrivateFolder(file, data, size);
}

Error programFileInUse() {
    return systemError(ETXTBSY);
}

bool isRunningProgramFile(const std::string& path) {
    // The system refuses to open a file for writing while a process runs from
    // it. Non-blocking, so that a named pipe without a reader does not hang;
    // never through a link, which names some other file.
    const int probe = ::open(localSystemPath(path).c_str(),
                             O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (probe >= 0) {
        ::close(probe);
        return false;
    }
    return errno == ETXTBSY;
}

#endif

} // namespace velmora::platform
