#include "spawner.h"

#include "platform/smb/descriptorpassing.h"

#include <libsmbclient.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace velmora::smbhelper {

using platform::smb::receiveWithDescriptor;
using platform::smb::sendWithDescriptor;

namespace {

constexpr int kChannel = 3;

// Loads the library's configuration once, so that every helper forked from
// here starts with it in memory.
void preloadLibrary() {
    SMBCCTX* context = smbc_new_context();
    if (!context)
        return;
    smbc_setDebug(context, 0);
    if (smbc_init_context(context))
        smbc_free_context(context, 1);
    else
        smbc_free_context(context, 0);
}

struct Request {
    int port = 0;
    int timeoutSeconds = 0;
    std::string credentialsFile;
    int channel = -1;
};

// One request; false when the program has closed the channel.
bool receive(Request& request) {
    char text[4096];
    int channel = -1;
    const ssize_t got = receiveWithDescriptor(kChannel, text, sizeof text - 1, channel);
    if (got <= 0) {
        if (channel >= 0)
            close(channel);
        return false;
    }
    text[got] = '\0';
    request = Request{};
    request.channel = channel;
    // port NUL timeout NUL credentials NUL
    const char* at = text;
    const char* end = text + got;
    std::string fields[3];
    for (std::string& field : fields) {
        const std::size_t length = strnlen(at, static_cast<std::size_t>(end - at));
        field.assign(at, length);
        at += length + (at + length < end ? 1 : 0);
    }
    request.port = std::atoi(fields[0].c_str());
    request.timeoutSeconds = std::atoi(fields[1].c_str());
    request.credentialsFile = fields[2];
    return true;
}

void reply(std::int32_t answer, int pidfd) {
    (void)sendWithDescriptor(kChannel, &answer, sizeof answer, pidfd);
}

} // namespace

int runSpawner(ServeChannel serve) {
    prctl(PR_SET_NAME, "velmora-spawn");
    std::signal(SIGPIPE, SIG_IGN);
    // Helpers that end are reaped by the system; the program watches each
    // through its pidfd.
    std::signal(SIGCHLD, SIG_IGN);
    preloadLibrary();
    const pid_t self = getpid();
    Request request;
    while (receive(request)) {
        if (request.channel < 0) {
            reply(-EINVAL, -1);
            continue;
        }
        const pid_t helper = fork();
        if (helper == 0) {
            // Ends with the spawner, which ends with the program.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != self)
                _exit(1);
            prctl(PR_SET_NAME, "velmora-smb");
            std::signal(SIGCHLD, SIG_DFL);
            if (dup2(request.channel, kChannel) < 0)
                _exit(5);
            close(request.channel);
            serve(request.port, request.timeoutSeconds, request.credentialsFile.c_str());
        }
        const int forkError = errno;
        close(request.channel);
        if (helper < 0) {
            reply(-forkError, -1);
            continue;
        }
        const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, helper, 0));
        if (pidfd < 0) {
            // Without a pidfd the program could not tell the helper's end.
            const int error = errno;
            kill(helper, SIGKILL);
            reply(-error, -1);
            continue;
        }
        reply(helper, pidfd);
        close(pidfd);
    }
    return 0;
}

} // namespace velmora::smbhelper
