#include "helperspawner.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
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

// The spawner's channel number in it.
constexpr int kSpawnerChannel = 3;
// How long the spawner may take to answer a request.
constexpr int kAnswerLimitMs = 10000;

struct Spawner {
    int control = -1; // the program's end of the spawner's channel
    std::mutex deadMutex;
    bool dead = false;

    bool isDead() {
        std::lock_guard lock(deadMutex);
        return dead;
    }
    void markDead() {
        std::lock_guard lock(deadMutex);
        dead = true;
    }
};

// Starts the spawner on a thread of its own that lives as long as the
// spawner does: the spawner (and every helper it forks) ends with the thread
// that started it, so that thread must not be a worker that ends first.
std::shared_ptr<Spawner> startSpawner(const std::string& program) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        return nullptr;
    int childEnd = fcntl(pair[1], F_DUPFD_CLOEXEC, kSpawnerChannel + 1);
    close(pair[1]);
    if (childEnd < 0) {
        close(pair[0]);
        return nullptr;
    }
    auto spawner = std::make_shared<Spawner>();
    spawner->control = pair[0];
    std::promise<pid_t> started;
    std::future<pid_t> pid = started.get_future();
    std::thread([spawner, childEnd, program, started = std::move(started)]() mutable {
        const std::string parent = std::to_string(getpid());
        std::vector<std::string> args = {program, "--spawner", parent};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, childEnd, kSpawnerChannel);
        pid_t child = -1;
        const int failed =
            posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(childEnd);
        started.set_value(failed ? -1 : child);
        if (failed) {
            spawner->markDead();
            return;
        }
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        spawner->markDead();
    }).detach();
    if (pid.get() < 0) {
        close(spawner->control);
        return nullptr;
    }
    return spawner;
}

bool sendRequest(int control, const SmbSettings& settings, int channelEnd) {
    std::string text = std::to_string(settings.port);
    text.push_back('\0');
    text += std::to_string(settings.timeoutSeconds);
    text.push_back('\0');
    text += settings.credentialsFile;
    text.push_back('\0');
    iovec piece{text.data(), text.size()};
    alignas(cmsghdr) char controlBytes[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    message.msg_control = controlBytes;
    message.msg_controllen = sizeof controlBytes;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &channelEnd, sizeof(int));
    ssize_t sent = -1;
    do {
        sent = sendmsg(control, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(text.size());
}

Result<SpawnedHelper> receiveAnswer(int control) {
    pollfd entry{control, POLLIN, 0};
    int ready = -1;
    do {
        ready = poll(&entry, 1, kAnswerLimitMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return Error{ETIMEDOUT, "The SMB helper spawner did not answer"};
    std::int32_t answer = 0;
    iovec piece{&answer, sizeof answer};
    alignas(cmsghdr) char controlBytes[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    message.msg_control = controlBytes;
    message.msg_controllen = sizeof controlBytes;
    const ssize_t got = recvmsg(control, &message, MSG_CMSG_CLOEXEC);
    if (got != static_cast<ssize_t>(sizeof answer))
        return Error{EIO, "The SMB helper spawner ended"};
    int pidfd = -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS)
            std::memcpy(&pidfd, CMSG_DATA(c), sizeof(int));
    if (answer <= 0 || pidfd < 0) {
        if (pidfd >= 0)
            close(pidfd);
        return systemError(answer < 0 ? -answer : EIO);
    }
    return SpawnedHelper{static_cast<pid_t>(answer), pidfd};
}

} // namespace

Result<SpawnedHelper> spawnHelper(const SmbSettings& settings, int channelEnd) {
    // One request at a time per process: the answers come back in order.
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<Spawner>> spawners;
    std::lock_guard lock(mutex);
    std::shared_ptr<Spawner>& spawner = spawners[settings.helperProgram];
    if (spawner && spawner->isDead()) {
        close(spawner->control);
        spawner.reset();
    }
    if (!spawner)
        spawner = startSpawner(settings.helperProgram);
    if (!spawner)
        return Error{ENOENT, "No SMB helper spawner could be started"};
    if (!sendRequest(spawner->control, settings, channelEnd)) {
        spawner->markDead();
        return Error{EIO, "The SMB helper spawner ended"};
    }
    auto spawned = receiveAnswer(spawner->control);
    if (!spawned && (spawned.error().code == EIO || spawned.error().code == ETIMEDOUT))
        spawner->markDead();
    return spawned;
}

} // namespace velmora::platform::smb
