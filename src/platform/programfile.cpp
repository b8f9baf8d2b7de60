#include "programfile.h"

#include "filesystem.h"
#include "paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velmora::platform {

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
#ifdef _WIN32
            return systemError(ERROR_DISK_FULL);
#else
            return systemError(ENOSPC);
#endif
        done += written.value();
    }
    if (Status closed = file->close(); !closed)
        return closed;
#ifndef _WIN32
    if (::chmod(localSystemPath(path).c_str(), 0755) != 0)
        return lastSystemError();
#endif
    return {};
}

#ifdef _WIN32

bool isRunningProgramFile(const std::string&) {
    return false;
}

#else

bool isRunningProgramFile(const std::string& path) {
    // The system refuses to open a file for writing while a process runs from
    // it. Non-blocking, so that a named pipe without a reader does not hang.
    const int probe =
        ::open(localSystemPath(path).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (probe >= 0) {
        ::close(probe);
        return false;
    }
    return errno == ETXTBSY;
}

#endif

} // namespace velmora::platform
