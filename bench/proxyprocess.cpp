#include "proxyprocess.h"

#include "benchsupport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmora::bench {

namespace {

constexpr int kStartLimitMs = 10000;

// Reads the proxy's first line ("port N") within the limit; 0 when none came.
int readPort(int fd) {
    std::string line;
    const Clock::time_point start = Clock::now();
    while (line.find('\n') == std::string::npos) {
        const int left = kStartLimitMs - static_cast<int>(secondsSince(start) * 1000);
        pollfd entry{fd, POLLIN, 0};
        if (left <= 0 || poll(&entry, 1, left) <= 0)
            return 0;
        char buffer[64];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return 0;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    int port = 0;
    return std::sscanf(line.c_str(), "port %d", &port) == 1 ? port : 0;
}

} // namespace

std::unique_ptr<ProxyProcess> ProxyProcess::start(int targetPort,
                                                  std::chrono::microseconds oneWay) {
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0)
        fail(std::string("pipe: ") + std::strerror(errno));
    std::vector<std::string> arguments = {VELMORA_LATENCY_PROXY_PATH, std::to_string(targetPort),
                                          std::to_string(oneWay.count())};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&files, output[1], STDOUT_FILENO);
    // Not blocked there: a Ctrl-C ends the proxy as well as the benchmark.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    close(input[0]);
    close(output[1]);
    if (error != 0)
        fail(std::string("cannot start ") + argv[0] + ": " + std::strerror(error));
    std::unique_ptr<ProxyProcess> proxy(new ProxyProcess);
    proxy->pid_ = pid;
    proxy->input_ = input[1];
    proxy->port_ = readPort(output[0]);
    close(output[0]);
    if (proxy->port_ == 0)
        fail("the latency proxy did not say its port");
    return proxy;
}

ProxyProcess::~ProxyProcess() {
    close(input_); // the proxy's signal to end
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace velmora::bench
