// The copy over a long link: the private Samba server behind the delaying
// proxy (velmora_latencyproxy, a process of its own) at round trips of 0, 10
// and 30 ms; one file to 1 share and to 8 shares at once (limit 8), against
// smbclient put through the same proxy (one process for 1 share, 8 at once for
// 8). The two sides are interleaved, and the median of 3 rounds is taken when 3
// fit in the case's budget. First the proxy's own ceiling, so that a figure
// that hits it is seen as such.

#include "benchbatch.h"
#include "benchparts.h"
#include "benchserver.h"
#include "benchsupport.h"
#include "proxyceiling.h"
#include "proxyprocess.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace velmora::bench {

namespace {

constexpr int kRoundTripsMs[] = {0, 10, 30};
constexpr int kTargets[] = {1, 8};
constexpr int kLimit = 8;
// Three rounds of a case must fit in this, else the case runs once.
constexpr double kCaseBudgetSeconds = 150;
constexpr std::uint64_t kCeilingStreamBytes = 1024 * kMiB;

void printCeiling() {
    std::printf("wan: the proxy's own ceiling, raw TCP through it into a sink that only reads\n");
    const struct {
        int rttMs;
        int streams;
    } runs[] = {{0, 1}, {0, 8}, {30, 1}};
    for (const auto& run : runs) {
        const double rate = proxyCeiling(std::chrono::microseconds(run.rttMs * 1000 / 2),
                                         run.streams, kCeilingStreamBytes / run.streams);
        std::printf("proxy rtt_ms=%d streams=%d mb_s=%.0f\n", run.rttMs, run.streams, rate);
        std::fflush(stdout);
    }
}

// The first `count` shares b1.. of the server: names, network rows, and the
// folders that hold their copies.
struct Targets {
    std::vector<std::string> shares, rows, folders;
};

Targets firstShares(const testsupport::SambaServer& server, int count) {
    Targets targets;
    for (int i = 1; i <= count; ++i) {
        targets.shares.push_back("b" + std::to_string(i));
        targets.rows.push_back(server.unc(targets.shares.back()));
        targets.folders.push_back(server.shareFolder(targets.shares.back()));
    }
    return targets;
}

double mbPerSecond(std::uint64_t fileMiB, int targets, double seconds) {
    return megabytesPerSecond(fileMiB * kMiB * static_cast<std::uint64_t>(targets), seconds);
}

} // namespace

void wanPart(const std::string& root, std::uint64_t fileMiB) {
    std::printf("wan: load average %s (%d processors)\n", loadAverage().c_str(), processorCount());
    printCeiling();
    const auto bench = startBenchServer("wan", root);
    if (!bench)
        return;
    const testsupport::SambaServer& server = *bench->server;

    const std::string sourceFolder = makeFolder(root + "/wan");
    const std::string name = "prog.exe";
    const std::string source = sourceFolder + "/" + name;
    writeRandomFile(source, fileMiB * kMiB);
    FakeBatchWindow window;
    holdFile(window, source);
    const std::vector<char>& image = *window.fileSet().image();
    const unsigned long long mib = fileMiB;
    std::printf("wan: one %llu MiB file of random bytes to the shares of a private Samba server; "
                "velmora at limit %d against smbclient put; 1 MB = 10^6 bytes\n",
                mib, kLimit);

    // Every timed run starts with the shares emptied and the disk flushed.
    const auto smbclientRun = [&](const Targets& targets, int port) {
        clearFolders({&targets.folders});
        const double seconds = runSmbclient(source, name, targets.shares, port, sourceFolder, true);
        checkSmbclientCopies(targets.folders, name, image, sourceFolder, targets.shares);
        return seconds;
    };

    // smbclient straight to the server: set beside the rtt 0 figures through
    // the proxy, it shows what the proxy itself costs.
    {
        const Targets all = firstShares(server, kTargets[1]);
        std::vector<double> direct;
        for (int round = 0; round < 3; ++round)
            direct.push_back(smbclientRun(all, server.port()));
        clearFolders({&all.folders});
        const double s = median(direct);
        std::printf("wan direct size_mib=%llu targets=%d smbclient_s=%.2f  # no proxy; median of "
                    "3 (%s); MB/s %.1f; load %s\n",
                    mib, kTargets[1], s, roundsText(direct).substr(1).c_str(),
                    mbPerSecond(fileMiB, kTargets[1], s), loadAverage().c_str());
        std::fflush(stdout);
    }

    for (const int rttMs : kRoundTripsMs) {
        const auto proxy =
            ProxyProcess::start(server.port(), std::chrono::microseconds(rttMs * 500));
        useSmbPort(proxy->port());
        for (const int count : kTargets) {
            const Targets targets = firstShares(server, count);
            const auto velmora = [&] {
                clearFolders({&targets.folders});
                return timedCopyBatch(window, targets.rows, kLimit, targets.folders);
            };
            const auto smbclient = [&] { return smbclientRun(targets, proxy->port()); };
            const Rounds rounds = interleavedRounds(velmora, smbclient, kCaseBudgetSeconds);
            clearFolders({&targets.folders});
            const double v = median(rounds.ours);
            const double s = median(rounds.peer);
            std::printf("wan rtt_ms=%d size_mib=%llu targets=%d velmora_s=%.2f smbclient_s=%.2f "
                        "ratio=%.2f  # %s; MB/s velmora %.1f smbclient %.1f; load %s\n",
                        rttMs, mib, count, v, s, s > 0 ? v / s : 0,
                        roundsNote(rounds, "velmora", "smbclient").c_str(),
                        mbPerSecond(fileMiB, count, v), mbPerSecond(fileMiB, count, s),
                        loadAverage().c_str());
            std::fflush(stdout);
        }
    }
    useSmbPort(server.port());
}

} // namespace velmora::bench
