#include "processwatch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace velmora::bench {

namespace {

constexpr int kIntervalMs = 20;
// Every this many samples, Pss is read and every process looked at afresh.
constexpr int kFullEvery = 10;

// The whole of a small /proc file, or "" when it is gone (a process that ended).
std::string readSmallFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[4096];
    std::string text;
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return text;
}

// A "Name:   123 kB" line of /proc status or smaps_rollup text, 0 when it is not there.
std::uint64_t field(const std::string& text, const char* name) {
    const std::string key = std::string("\n") + name + ":";
    const std::size_t at = ("\n" + text).find(key);
    return at == std::string::npos ? 0
                                   : std::strtoull(text.c_str() + at + key.size() - 1, nullptr, 10);
}

double threadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

ProcessWatch::ProcessWatch(const std::string& childName)
    : shownName_("(" + childName.substr(0, 15) + ")"), self_(getpid()) {
    thread_ = std::thread([this] {
        for (int n = 0; !stopping_.load(); ++n) {
            sample(n % kFullEvery == 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(kIntervalMs));
        }
        peaks_.samplerCpuSeconds = threadCpuSeconds();
    });
}

ProcessWatch::~ProcessWatch() {
    if (thread_.joinable())
        stop();
}

ProcessPeaks ProcessWatch::stop() {
    stopping_ = true;
    thread_.join();
    sample(true);
    return peaks_;
}

void ProcessWatch::sample(bool full) {
    if (full)
        others_.clear();
    const std::uint64_t own = field(readSmallFile("/proc/self/status"), "VmRSS");
    std::uint64_t proportional = full ? field(readSmallFile("/proc/self/smaps_rollup"), "Pss") : 0;
    std::uint64_t resident = own;
    std::uint64_t anonymous = 0;
    int helpers = 0;
    DIR* proc = opendir("/proc");
    if (proc == nullptr)
        return;
    while (dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const long pid = std::strtol(entry->d_name, nullptr, 10);
        if (others_.count(pid) != 0)
            continue;
        const std::string folder = std::string("/proc/") + entry->d_name;
        // "pid (name) state ppid ...": our names have no blank in them. The
        // helpers are children of this process or of its helper spawner
        // ("velmora-spawn"), whose memory counts with theirs.
        const std::string stat = readSmallFile(folder + "/stat");
        const std::size_t name = stat.find(' ');
        const std::size_t nameEnd = stat.find(") ", name);
        char state = 0;
        long parent = 0;
        const bool parsed =
            name != std::string::npos && nameEnd != std::string::npos &&
            std::sscanf(stat.c_str() + nameEnd + 1, " %c %ld", &state, &parent) == 2;
        const std::string shown =
            parsed ? stat.substr(name + 1, nameEnd + 1 - (name + 1)) : std::string();
        if (parsed && shown == "(velmora-spawn)" && parent == self_) {
            spawners_.insert(pid);
            const std::string status = readSmallFile(folder + "/status");
            resident += field(status, "VmRSS");
            if (full)
                proportional += field(readSmallFile(folder + "/smaps_rollup"), "Pss");
            continue;
        }
        const bool ours =
            parsed && shown == shownName_ && (parent == self_ || spawners_.count(parent) != 0);
        if (!ours) {
            // A helper just forked still has its spawner's name.
            if (!stat.empty() && shown != shownName_ && shown != "(velmora-spawn)")
                others_.insert(pid);
            continue;
        }
        if (state == 'Z')
            continue; // ended, not yet reaped
        const std::string status = readSmallFile(folder + "/status");
        ++helpers;
        resident += field(status, "VmRSS");
        anonymous += field(status, "RssAnon");
        if (full)
            proportional += field(readSmallFile(folder + "/smaps_rollup"), "Pss");
    }
    closedir(proc);
    peaks_.helpers = std::max(peaks_.helpers, helpers);
    peaks_.own = std::max(peaks_.own, own);
    peaks_.residentSum = std::max(peaks_.residentSum, resident);
    peaks_.helpersAnonymous = std::max(peaks_.helpersAnonymous, anonymous);
    peaks_.proportionalSum = std::max(peaks_.proportionalSum, proportional);
    ++peaks_.samples;
}

} // namespace velmora::bench
