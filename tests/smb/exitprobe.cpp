// Stands in for the program being closed while a worker waits on a server that
// does not answer: a thread asks for a file on the share named by argv[1], the
// program prints the process ids of its SMB helpers and ends at once, as the
// window's close does (quick_exit, no waiting for threads).
#include "platform/filesystem.h"
#include "support/childprocesses.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

std::vector<long> helperChildren() {
    return velmora::testsupport::smbHelpersOf();
}

// Sockets the process holds: its channel to the program, and its connection to
// a server once it has made one.
int socketCount(long pid) {
    int count = 0;
    std::error_code error;
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& fd : std::filesystem::directory_iterator(folder, error)) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(fd.path(), ignored).string().rfind("socket:", 0) == 0)
            ++count;
    }
    return count;
}

bool oneHelperWaitsOnTheServer() {
    const std::vector<long> helpers = helperChildren();
    if (helpers.size() < 2)
        return false;
    for (long pid : helpers)
        if (socketCount(pid) >= 2)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const std::string path = argv[1];
    // The main thread gets a helper of its own that stays idle (nothing listens on
    // 127.0.0.2); the worker's helper waits on the server.
    (void)velmora::platform::fileSystemFor(path).fileExists("\\\\127.0.0.2\\none");
    std::thread([path] { (void)velmora::platform::fileSystemFor(path).findEntry(path); }).detach();
    for (int i = 0; i < 500 && !oneHelperWaitsOnTheServer(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // Connected; now its request is out and unanswered.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (long pid : helperChildren())
        std::printf("%ld\n", pid);
    std::fflush(stdout);
    std::quick_exit(0);
}
