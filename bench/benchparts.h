#pragma once

#include <cstdint>
#include <string>

// The parts of the copy benchmark, each run by one command of scripts/bench.
// Each writes its files under root (the run's scratch folder) and prints its
// figures; a failed check ends the run.
namespace velmora::bench {

// Parts a to d: local throughput against cp, processor time while waiting for a
// slot, memory with 50 live workers, SMB throughput against smbclient.
void classicRun(const std::string& root, std::uint64_t fileMiB);

// The copy over a long link: through the delaying proxy at round trips of 0, 10
// and 30 ms, to 1 and to 8 shares, against smbclient put.
void wanPart(const std::string& root, std::uint64_t fileMiB);

// The copy to 8 local folders against 8 cp at once.
void localPart(const std::string& root, std::uint64_t fileMiB);

// A rollout to 200 folders over the 30 ms proxy at limits 200 and 8, against one
// target alone: time, helper processes and memory.
void scalePart(const std::string& root, std::uint64_t fileMiB);

} // namespace velmora::bench
