#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <unordered_set>

namespace velmora::bench {

// What a ProcessWatch saw at most over its time, in kB where not said.
struct ProcessPeaks {
    int helpers = 0;                    // children running the program named, alive at once
    std::uint64_t residentSum = 0;      // this process's VmRSS plus every such child's VmRSS
    std::uint64_t proportionalSum = 0;  // the same processes' Pss: shared pages split among them
    std::uint64_t own = 0;              // this process's VmRSS
    std::uint64_t helpersAnonymous = 0; // the children's RssAnon, what each holds of its own
    int samples = 0;
    double samplerCpuSeconds = 0; // processor time of the sampling thread itself
};

// Samples, on a thread of its own every 20 ms until stopped, this process's
// resident memory and that of its children running the named program (found
// in /proc by their parent and name), and keeps the peaks. The children's VmRSS
// counts the shared libraries that each of them maps, once per child; Pss (read
// every tenth sample, as it costs more) counts them once in all.
class ProcessWatch {
public:
    explicit ProcessWatch(const std::string& childName);
    ~ProcessWatch();
    ProcessWatch(const ProcessWatch&) = delete;
    ProcessWatch& operator=(const ProcessWatch&) = delete;

    // Ends the sampling (after one last sample) and returns the peaks.
    ProcessPeaks stop();

private:
    void sample(bool full);

    std::string shownName_; // as /proc/<pid>/stat shows it: "(name)", at most 15 characters
    pid_t self_;
    ProcessPeaks peaks_;
    // Processes found not to be such a child, not read again until the next full
    // look (process ids come round again).
    std::unordered_set<long> others_;
    std::unordered_set<long> spawners_; // this process's helper spawners
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace velmora::bench
