// The copy to local folders: one file to 8 folders at limit 8 against 8 cp
// processes at once into 8 other folders of the same file system, interleaved,
// the median of 3 rounds. Every timed run starts alike, as in part a: all
// copies removed, the file system flushed, and an untimed pass of 8 cp just
// before.

#include "benchbatch.h"
#include "benchparts.h"
#include "benchsupport.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace velmora::bench {

namespace {

constexpr int kTargets = 8;
// Three rounds fit in this unless a copy is far slower than it should be.
constexpr double kBudgetSeconds = 600;

} // namespace

void localPart(const std::string& root, std::uint64_t fileMiB) {
    std::printf("local: load average %s (%d processors)\n", loadAverage().c_str(),
                processorCount());
    const std::string source = makeFolder(root + "/source") + "/prog.exe";
    writeRandomFile(source, fileMiB * kMiB);
    const auto velmoraFolders = makeFolders(root + "/velmora", kTargets);
    const auto cpFolders = makeFolders(root + "/cp", kTargets);
    FakeBatchWindow window;
    holdFile(window, source);
    const std::vector<char>& image = *window.fileSet().image();

    const auto startAlike = [&] {
        clearFolders({&velmoraFolders, &cpFolders});
        (void)runCp(source, cpFolders, true);
        clearFolders({&cpFolders});
    };
    const auto velmora = [&] {
        startAlike();
        return timedCopyBatch(window, velmoraFolders, kTargets);
    };
    const auto cp = [&] {
        startAlike();
        return timedCp(source, cpFolders, image, true);
    };
    const Rounds rounds = interleavedRounds(velmora, cp, kBudgetSeconds);
    clearFolders({&velmoraFolders, &cpFolders});

    const double v = median(rounds.ours);
    const double c = median(rounds.peer);
    const double bytes = static_cast<double>(fileMiB * kMiB) * kTargets;
    std::printf("local size_mib=%llu targets=%d velmora_s=%.2f cp_s=%.2f ratio=%.2f  # %s; MB/s "
                "velmora %.1f cp %.1f; load %s\n",
                static_cast<unsigned long long>(fileMiB), kTargets, v, c, c > 0 ? v / c : 0,
                roundsNote(rounds, "velmora", "cp").c_str(), v > 0 ? bytes / 1e6 / v : 0,
                c > 0 ? bytes / 1e6 / c : 0, loadAverage().c_str());
}

} // namespace velmora::bench
