#include "smbsession.h"

#include "channelspawn.h"
#include "credentialswarning.h"
#include "helperspawner.h"
#include "platform/cancellation.h"
#include "platform/filesystem.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::platform::smb {

namespace {

// The channel's number in the helper.
constexpr int kHelperChannel = 3;
// How often a waiting request looks at the cancel flag.
constexpr int kPollSliceMs = 50;

Error ownError(int code, const char* text) {
    return Error{code, text};
}

// Unique in the process, so a file handed to another thread is never taken for
// one of that thread's own helper.
std::uint64_t nextIncarnation() {
    static std::atomic<std::uint64_t> helpersStarted{0};
    return ++helpersStarted;
}

// Waits up to the limit for the process behind the pidfd to end.
bool endedWithin(int pidfd, int milliseconds) {
    pollfd entry{pidfd, POLLIN, 0};
    int ready = -1;
    do {
        ready = poll(&entry, 1, milliseconds);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

int signalThrough(int pidfd, int sig) {
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0));
}

} // namespace

Error malformedReply() {
    return ownError(EPROTO, "The SMB helper sent a malformed reply");
}

SmbSession& SmbSession::forThisThread() {
    thread_local SmbSession session;
    return session;
}

SmbSession::~SmbSession() {
    stopHelper(false);
}

Status SmbSession::startHelper(const SmbSettings& settings) {
    // Said here rather than by the helper: every thread starts a helper of its
    // own, and each would say it again.
    warnIfCredentialsFileIsOpen(settings.credentialsFile);
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return lastSystemError();
    int childEnd = pair[1];
    if (childEnd <= kHelperChannel) {
        // Out of the way of the descriptors the helper gets (0, 1 and 3): a
        // dup2 onto itself would leave close-on-exec set, and 0 or 1 would be
        // replaced by /dev/null before the channel is moved to 3.
        childEnd = fcntl(pair[1], F_DUPFD_CLOEXEC, kHelperChannel + 1);
        close(pair[1]);
        if (childEnd < 0) {
            Error error = lastSystemError();
            close(pair[0]);
            return error;
        }
    }

    // A fork of the spawner, which has the library loaded already; where no
    // spawner can serve, the helper program itself.
    if (auto spawned = spawnHelper(settings, childEnd)) {
        close(childEnd);
        pid_ = spawned.value().pid;
        pidfd_ = spawned.value().pidfd;
        channel_ = pair[0];
        settings_ = settings;
        incarnation_ = nextIncarnation();
        return {};
    }
    Result<pid_t> started = spawnOnChannel(
        {settings.helperProgram, std::to_string(getpid()), std::to_string(settings.port),
         std::to_string(settings.timeoutSeconds), settings.credentialsFile},
        childEnd, kHelperChannel);
    close(childEnd);
    if (!started) {
        close(pair[0]);
        Error error = started.error();
        error.message =
            "The SMB helper " + settings.helperProgram + " cannot be started: " + error.message;
        return error;
    }
    pid_ = started.value();
    pidfd_ = -1;
    channel_ = pair[0];
    settings_ = settings;
    incarnation_ = nextIncarnation();
    return {};
}

void SmbSession::stopHelper(bool kill) {
    if (channel_ >= 0)
        close(channel_);
    channel_ = -1;
    if (pid_ < 0)
        return;
    // The helper ends as soon as its channel closes; one that sits in a call to
    // a server gets a moment, then is killed.
    if (pidfd_ >= 0) {
        // A helper of the spawner, which reaps it; the pidfd tells its end.
        if (kill)
            (void)signalThrough(pidfd_, SIGKILL);
        if (!endedWithin(pidfd_, 200)) {
            (void)signalThrough(pidfd_, SIGKILL);
            (void)endedWithin(pidfd_, 2000);
        }
        close(pidfd_);
        pidfd_ = -1;
        pid_ = -1;
        return;
    }
    if (kill)
        ::kill(pid_, SIGKILL);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) != 0) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

Status SmbSession::waitFor(short events, Deadline deadline) {
    for (;;) {
        if (threadCancelRequested()) {
            const auto now = std::chrono::steady_clock::now();
            if (!cancelSeen_)
                cancelSeen_ = now;
            if (now - *cancelSeen_ >= cancelGrace_)
                return ownError(ECANCELED, "The request was cancelled");
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return ownError(ETIMEDOUT, "The server did not answer in time");
        pollfd entry{channel_, events, 0};
        const int ready = poll(&entry, 1, kPollSliceMs);
        if (ready > 0)
            return {};
        if (ready < 0 && errno != EINTR)
            return lastSystemError();
    }
}

Status SmbSession::send(std::string_view head, std::string_view tail, Deadline deadline) {
    char header[4];
    const auto length = static_cast<std::uint32_t>(head.size() + tail.size());
    for (int i = 0; i < 4; ++i)
        header[i] = static_cast<char>((length >> (8 * i)) & 0xff);
    const std::string_view parts[3] = {std::string_view(header, 4), head, tail};
    std::size_t part = 0;   // the first part not wholly sent
    std::size_t offset = 0; // how much of it has gone
    while (part < 3) {
        iovec pieces[3];
        int count = 0;
        for (std::size_t p = part; p < 3; ++p) {
            const std::size_t skip = p == part ? offset : 0;
            pieces[count].iov_base = const_cast<char*>(parts[p].data() + skip);
            pieces[count].iov_len = parts[p].size() - skip;
            ++count;
        }
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = static_cast<decltype(message.msg_iovlen)>(count);
        const ssize_t n = ::sendmsg(channel_, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return ownError(EIO, "The SMB helper ended unexpectedly");
        std::size_t sent = n > 0 ? static_cast<std::size_t>(n) : 0;
        while (part < 3 && sent >= parts[part].size() - offset) {
            sent -= parts[part].size() - offset;
            offset = 0;
            ++part;
        }
        offset += sent;
        if (part < 3 && n <= 0) {
            if (Status ready = waitFor(POLLOUT, deadline); !ready)
                return ready;
        }
    }
    return {};
}

Status SmbSession::receive(std::string& frame, Deadline deadline) {
    char header[4];
    std::size_t got = 0;
    std::size_t wanted = sizeof header;
    bool inHeader = true;
    for (;;) {
        if (got == wanted) {
            if (!inHeader)
                return {};
            const std::uint32_t length = frameLength(header);
            if (length > kMaxFrame)
                return malformedReply();
            frame.assign(length, '\0');
            inHeader = false;
            got = 0;
            wanted = length;
            continue;
        }
        char* into = inHeader ? header + got : frame.data() + got;
        const ssize_t n = recv(channel_, into, wanted - got, MSG_DONTWAIT);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return ownError(EIO, "The SMB helper ended unexpectedly");
        if (Status ready = waitFor(POLLIN, deadline); !ready)
            return ready;
    }
}

Result<std::string> SmbSession::call(const WireWriter& request, std::string_view tail,
                                     std::chrono::milliseconds cancelGrace) {
    if (threadCancelRequested())
        return ownError(ECANCELED, "The request was cancelled");
    if (request.data().size() + tail.size() > kMaxFrame)
        return ownError(EFBIG, "The request is too large");
    cancelGrace_ = cancelGrace;
    cancelSeen_.reset();
    const SmbSettings settings = currentSmbSettings();
    if (channel_ >= 0 && !(settings == settings_))
        stopHelper(false);
    if (channel_ < 0) {
        if (Status started = startHelper(settings); !started)
            return started.error();
    }
    // The library's own time-out bounds each request it makes to the server; a
    // call makes several (connect, log on, open, write, close), and ours ends
    // whatever the library does not.
    const Deadline deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(2 * settings.timeoutSeconds + 5);
    std::string reply;
    Status done = send(request.data(), tail, deadline);
    if (done)
        done = receive(reply, deadline);
    if (!done) {
        stopHelper(true);
        return done.error();
    }
    WireReader reader(reply);
    const std::uint32_t code = reader.u32();
    if (!reader.ok()) {
        stopHelper(true);
        return malformedReply();
    }
    if (code != 0) {
        Error failure = systemError(static_cast<int>(code));
        // The helper's connection to the server broke: the next request starts
        // a fresh helper, which connects and logs on anew. (A server that
        // refused to be reached left the helper without a connection to drop.)
        if (isConnectionFailure(failure) && failure.code != ECONNREFUSED &&
            failure.code != EHOSTUNREACH && failure.code != ENETUNREACH)
            stopHelper(false);
        return failure;
    }
    reply.erase(0, 4);
    return reply;
}

} // namespace velmora::platform::smb
