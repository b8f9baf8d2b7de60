#include "helperspawner.h"

#include "channelspawn.h"
#include "descriptorpassing.h"

#include <cerrno>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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
        const Result<pid_t> child = spawnOnChannel({program, "--spawner", std::to_string(getpid())},
                                                   childEnd, kSpawnerChannel);
        close(childEnd);
        started.set_value(child ? child.value() : -1);
        if (!child) {
            spawner->markDead();
            return;
        }
        while (waitpid(child.value(), nullptr, 0) < 0 && errno == EINTR) {
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
    return sendWithDescriptor(control, text.data(), text.size(), channelEnd);
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
    int pidfd = -1;
    const ssize_t got = receiveWithDescriptor(control, &answer, sizeof answer, pidfd);
    if (got != static_cast<ssize_t>(sizeof answer)) {
        if (pidfd >= 0)
            close(pidfd);
        return Error{EIO, "The SMB helper spawner ended"};
    }
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
