// velmora-smb: the program's SMB client for one thread. The SMB client library
// must not be used by two threads of one process, so every thread of the program
// that reaches a network share talks to a helper process of its own over the
// channel on descriptor 3, one request at a time (see smbwire.h).
//
// Arguments: parent process id, port, time-out in seconds, credentials file.
// Or "--spawner" and the parent process id: then it starts helpers on request
// (spawner.h), forked from itself with the library already loaded.
#include "credentials.h"
#include "platform/smb/smbwire.h"
#include "spawner.h"

#include <libsmbclient.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/time.h>
#include <unistd.h>

using namespace velmora::platform::smb;
using velmora::smbhelper::Credentials;

namespace {

constexpr int kChannel = 3;

Credentials logon;
SMBCCTX* library = nullptr;

void supplyLogon(SMBCCTX*, const char*, const char*, char* workgroup, int workgroupLength,
                 char* user, int userLength, char* password, int passwordLength) {
    auto put = [](char* out, int length, const std::string& value) {
        if (length <= 0)
            return;
        std::strncpy(out, value.c_str(), static_cast<std::size_t>(length) - 1);
        out[length - 1] = '\0';
    };
    if (!logon.domain.empty())
        put(workgroup, workgroupLength, logon.domain);
    put(user, userLength, logon.username);
    put(password, passwordLength, logon.password);
}

// The library asks the server for an echo before it uses its connection again
// (the first time, and after every time-out's length): one round trip more per
// copy on a slow link. A helper serves one worker's copy and lives no longer;
// a connection that has broken fails the request that comes, and the program
// then starts a fresh helper.
int connectionAssumedAlive(SMBCCTX*, SMBCSRV*) {
    return 0;
}

bool readExactly(int fd, char* into, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd, into + got, size - got);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            return false;
    }
    return true;
}

bool writeExactly(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n > 0)
            sent += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EINTR)
            return false;
    }
    return true;
}

// The error of the last library call; never 0, so a failure cannot pass as
// success.
std::uint32_t lastError() {
    return errno != 0 ? static_cast<std::uint32_t>(errno) : EIO;
}

class Requests {
public:
    WireWriter handle(WireReader& in) {
        const auto op = static_cast<Op>(in.u8());
        // Anything but the writing of a file ends a deferred close first, so a
        // rename or a size test always meets the file closed.
        if (op != Op::Reopen && op != Op::Write && op != Op::Close)
            settleLingering();
        switch (op) {
        case Op::Stat:
            return stat(in.bytes());
        case Op::Create: {
            std::string url = in.bytes();
            closeFailures_.erase(url);
            knownAbsent_.erase(url);
            return open(url, O_WRONLY | O_CREAT | O_TRUNC, 0);
        }
        case Op::Reopen: {
            std::string url = in.bytes();
            return open(url, O_WRONLY, in.u64());
        }
        case Op::Write: {
            const std::uint32_t id = in.u32();
            return write(id, in.bytesView());
        }
        case Op::Close: {
            const std::uint32_t id = in.u32();
            return close(id, in.bytesView());
        }
        case Op::Delete: {
            std::string url = in.bytes();
            if (auto failed = closeFailures_.find(url); failed != closeFailures_.end())
                return failure(failed->second);
            errno = 0;
            const bool deleted = smbc_unlink(url.c_str()) == 0;
            if (deleted || errno == ENOENT)
                knownAbsent_.insert(url);
            return status(deleted);
        }
        case Op::Rename: {
            std::string from = in.bytes();
            return rename(from, in.bytes());
        }
        case Op::SetWriteTime: {
            std::string url = in.bytes();
            return setWriteTime(url, in.i64());
        }
        case Op::ReadFile:
            return readFile(in.bytes());
        }
        return failure(EPROTO);
    }

private:
    static WireWriter failure(std::uint32_t code) {
        WireWriter out;
        out.u32(code);
        return out;
    }
    static WireWriter success() { return failure(0); }
    static WireWriter status(bool ok) { return ok ? success() : failure(lastError()); }

    WireWriter stat(const std::string& url) {
        if (auto failed = closeFailures_.find(url); failed != closeFailures_.end())
            return failure(failed->second);
        struct stat info {};
        errno = 0;
        if (smbc_stat(url.c_str(), &info) != 0) {
            if (errno == ENOENT)
                knownAbsent_.insert(url);
            return failure(lastError());
        }
        knownAbsent_.erase(url);
        return entryReply(info);
    }

    static WireWriter entryReply(const struct stat& info) {
        WireWriter out = success();
        out.u64(static_cast<std::uint64_t>(info.st_size))
            .i64(static_cast<std::int64_t>(info.st_mtime))
            .u32(static_cast<std::uint32_t>(info.st_mode));
        return out;
    }

    // Opens for writing, shared with nobody (as Windows' share mode 0): a file
    // that someone else holds open cannot be opened, and the server refuses the
    // open before it would truncate such a file.
    WireWriter open(const std::string& url, int flags, std::uint64_t offset) {
        int fd = -1;
        if (lingering_ && lingering_->url == url && !(flags & O_TRUNC)) {
            // The reopen of the file just closed takes its server handle again.
            fd = lingering_->fd;
            lingering_.reset();
        } else {
            settleLingering();
            smbc_setOptionOpenShareMode(library, SMBC_SHAREMODE_DENY_ALL);
            errno = 0;
            fd = smbc_open(url.c_str(), flags, 0666);
        }
        if (fd < 0)
            return failure(lastError());

        if (offset != 0 &&
            smbc_lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) {
            const std::uint32_t code = lastError();
            smbc_close(fd);
            return failure(code);
        }
        const std::uint32_t id = nextHandle_++;
        files_[id] = OpenFile{fd, url};
        WireWriter out = success();
        out.u32(id);
        return out;
    }

    // Writes everything or reports why not: a short write is a full disk.
    static std::uint32_t writeAll(int fd, std::string_view data) {
        std::size_t done = 0;
        while (done < data.size()) {
            errno = 0;
            const ssize_t n = smbc_write(fd, data.data() + done, data.size() - done);
            if (n < 0)
                return lastError();
            if (n == 0)
                return ENOSPC;
            done += static_cast<std::size_t>(n);
        }
        return 0;
    }

    WireWriter write(std::uint32_t id, std::string_view data) {
        const auto file = files_.find(id);
        if (file == files_.end())
            return failure(EBADF);
        if (const std::uint32_t code = writeAll(file->second.fd, data); code != 0)
            return failure(code);
        WireWriter out = success();
        out.u64(data.size());
        return out;
    }

    WireWriter close(std::uint32_t id, std::string_view data) {
        const auto file = files_.find(id);
        if (file == files_.end())
            return failure(EBADF);
        const OpenFile closing = file->second;
        files_.erase(file);
        std::uint32_t code = writeAll(closing.fd, data);
        if (code != 0) {
            smbc_close(closing.fd);
            return failure(code);
        }
        // Written; the server handle stays for a reopen of the same file. It is
        // closed for real before any other request, and a failure of that
        // close still fails what follows.
        settleLingering();
        lingering_ = closing;
        return success();
    }

    // Closes the file whose close was deferred. A failure of that close makes
    // the file unusable to every later request until it is created again, so
    // it can never pass a size test or a rename as if all were well.
    void settleLingering() {
        if (!lingering_)
            return;
        errno = 0;
        if (smbc_close(lingering_->fd) != 0)
            closeFailures_[lingering_->url] = lastError();
        lingering_.reset();
    }

    // The library's rename replaces an existing target; the program's never does.
    // The test and the rename are two requests: a file that another client
    // creates between them would still be replaced.
    WireWriter rename(const std::string& from, const std::string& to) {
        if (auto failed = closeFailures_.find(from); failed != closeFailures_.end())
            return failure(failed->second);
        // A name this helper has just seen go (deleted, renamed away, or not
        // found) is not asked about again: one round trip less on a slow link.
        if (knownAbsent_.count(to) == 0) {
            struct stat info {};
            errno = 0;
            if (smbc_stat(to.c_str(), &info) == 0)
                return failure(EEXIST);
            if (errno != ENOENT)
                return failure(lastError());
        }
        errno = 0;
        if (smbc_rename(from.c_str(), to.c_str()) != 0)
            return failure(lastError());
        knownAbsent_.erase(to);
        knownAbsent_.insert(from);
        return success();
    }

    WireWriter setWriteTime(const std::string& url, std::int64_t seconds) {
        timeval times[2] = {};
        gettimeofday(&times[0], nullptr); // accessed now
        times[1].tv_sec = static_cast<time_t>(seconds);
        errno = 0;
        return status(smbc_utimes(url.c_str(), times) == 0);
    }

    WireWriter readFile(const std::string& url) {
        // Others may read the file meanwhile, but not change it.
        smbc_setOptionOpenShareMode(library, SMBC_SHAREMODE_DENY_WRITE);
        errno = 0;
        const int fd = smbc_open(url.c_str(), O_RDONLY, 0);
        if (fd < 0)
            return failure(lastError());
        std::string content;
        char buffer[65536];
        std::uint32_t code = 0;
        for (;;) {
            errno = 0;
            const ssize_t n = smbc_read(fd, buffer, sizeof buffer);
            if (n < 0) {
                code = lastError();
                break;
            }
            if (n == 0)
                break;
            if (content.size() + static_cast<std::size_t>(n) > kMaxFrame - 64) {
                code = EFBIG;
                break;
            }
            content.append(buffer, static_cast<std::size_t>(n));
        }
        smbc_close(fd);
        if (code != 0)
            return failure(code);
        WireWriter out = success();
        out.bytes(content);
        return out;
    }

    struct OpenFile {
        int fd = -1;
        std::string url;
    };

    std::map<std::uint32_t, OpenFile> files_;
    // Names that this helper has seen go; another client could create one
    // meanwhile, which the rename's own test could not rule out either.
    std::set<std::string> knownAbsent_;
    std::optional<OpenFile> lingering_;
    std::map<std::string, std::uint32_t> closeFailures_; // url -> error of its deferred close
    std::uint32_t nextHandle_ = 1;
};

bool setUpLibrary(int port, int timeoutSeconds) {
    SMBCCTX* context = smbc_new_context();
    if (!context)
        return false;
    smbc_setDebug(context, 0);
    smbc_setTimeout(context, timeoutSeconds * 1000);
    smbc_setPort(context, static_cast<uint16_t>(port));
    smbc_setFunctionAuthDataWithContext(context, supplyLogon);
    smbc_setFunctionCheckServer(context, connectionAssumedAlive);
    if (velmora::smbhelper::kerberosTicketAvailable()) {
        smbc_setOptionUseKerberos(context, 1);
        smbc_setOptionFallbackAfterKerberos(context, 1);
        smbc_setOptionUseCCache(context, 1);
    }
    if (!smbc_init_context(context)) {
        smbc_free_context(context, 1);
        return false;
    }
    smbc_set_context(context);
    library = context;
    return true;
}

// Serves one thread of the program on the channel: logs on with the
// credentials file's contents and answers requests until the channel closes.
[[noreturn]] void serveChannel(int port, int timeoutSeconds, const char* credentialsFile) {
    std::signal(SIGPIPE, SIG_IGN);
    logon = velmora::smbhelper::readCredentialsFile(credentialsFile);
    if (!setUpLibrary(port, timeoutSeconds))
        _exit(3);

    Requests requests;
    for (;;) {
        char header[4];
        if (!readExactly(kChannel, header, sizeof header))
            _exit(0); // the program closed the channel: nothing is left to do
        const std::uint32_t length = frameLength(header);
        if (length > kMaxFrame)
            _exit(4);
        std::string request(length, '\0');
        if (!readExactly(kChannel, request.data(), length))
            _exit(0);
        WireReader in(request);
        WireWriter reply = requests.handle(in);
        if (!in.ok())
            reply = WireWriter().u32(EPROTO);
        if (!writeExactly(kChannel, reply.frame()))
            _exit(0);
    }
}

} // namespace

int main(int argc, char** argv) {
    // Ends with the thread that started it, even when that thread cannot say so.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc == 3 && std::strcmp(argv[1], "--spawner") == 0) {
        if (getppid() != static_cast<pid_t>(std::atol(argv[2])))
            return 1;
        return velmora::smbhelper::runSpawner(serveChannel);
    }
    if (argc != 5)
        return 2;
    if (getppid() != static_cast<pid_t>(std::atol(argv[1])))
        return 1;
    serveChannel(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
}
