// velmora_latencyproxy TARGET_PORT ONE_WAY_MICROSECONDS
//
// Runs the delaying proxy of tests/support as a process of its own, so that its
// threads, buffers and processor time are not counted as the benchmark's: it
// listens on a free port of 127.0.0.1, forwards to 127.0.0.1:TARGET_PORT, holds
// every chunk for the delay in each direction, prints "port N" once it listens
// and runs until its standard input ends (the benchmark closes it, or dies).

#include "support/latencyproxy.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char** argv) {
    char* end = nullptr;
    const long port = argc == 3 ? std::strtol(argv[1], &end, 10) : 0;
    const bool portRead = end != nullptr && *end == '\0' && port > 0 && port < 65536;
    const long long delay = argc == 3 ? std::strtoll(argv[2], &end, 10) : -1;
    if (!portRead || *end != '\0' || delay < 0) {
        std::fprintf(stderr, "usage: velmora_latencyproxy TARGET_PORT ONE_WAY_MICROSECONDS\n");
        return 2;
    }
    // Two descriptors per connection: a large batch needs more than the usual 1,024.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    std::string whyNot;
    auto proxy = velmora::testsupport::LatencyProxy::start(
        static_cast<int>(port), std::chrono::microseconds(delay), &whyNot);
    if (!proxy) {
        std::fprintf(stderr, "velmora_latencyproxy: %s\n", whyNot.c_str());
        return 1;
    }
    std::printf("port %d\n", proxy->port());
    std::fflush(stdout);
    char ignored[256];
    while (read(STDIN_FILENO, ignored, sizeof ignored) > 0) {
    }
    proxy.reset();
    return 0;
}
