#include "smbsession.h"

#include "credentialswarning.h"
#include "platform/cancellation.h"
#include "platform/filesystem.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmora::platform::smb {

namespace {

// The channel's number in the helper.
constexpr int kHelperChannel = 3;
// How often a waiting request looks at the cancel flag.
constexpr int kPollSliceMs = 50;

Error ownError(int code, const char* text) {
    return Error{code, text};
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

    const std::string parent = std::to_string(getpid());
    const std::string port = std::to_string(settings.port);
    const std::string timeout = std::to_string(settings.timeoutSeconds);
    std::vector<std::string> args = {settings.helperProgram, parent, port, timeout,
                                     settings.credentialsFile};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The helper answers on its channel only; it must not keep the program's
    // own output open after the program has ended.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, childEnd, kHelperChannel);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, settings.helperProgram.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(childEnd);
    if (failed != 0) {
        close(pair[0]);
        Error error = systemError(failed);
        error.message =
            "The SMB helper " + settings.helperProgram + " cannot be started: " + error.message;
        return error;
    }
    pid_ = pid;
    channel_ = pair[0];
    settings_ = settings;
    // Unique in the process, so a file handed to another thread is never taken
    // for one of that thread's own helper.
    static std::atomic<std::uint64_t> helpersStarted{0};
    incarnation_ = ++helpersStarted;
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
        if (threadCancelRequested())
            return ownError(ECANCELED, "The request was cancelled");
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

Status SmbSession::send(const std::string& frame, Deadline deadline) {
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n =
            ::send(channel_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return ownError(EIO, "The SMB helper ended unexpectedly");
        if (Status ready = waitFor(POLLOUT, deadline); !ready)
            return ready;
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

Result<std::string> SmbSession::call(const WireWriter& request) {
    if (threadCancelRequested())
        return ownError(ECANCELED, "The request was cancelled");
    if (request.data().size() > kMaxFrame)
        return ownError(EFBIG, "The request is too large");
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
    Status done = send(request.frame(), deadline);
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
