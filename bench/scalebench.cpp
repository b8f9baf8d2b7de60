// A rollout at scale: one file to 200 folders spread over the shares b1..b8 of
// the private Samba server, behind the delaying proxy at a 30 ms round trip, at
// limit 200 and at limit 8, against one target alone through the same proxy
// (run before, between and after the two, the median taken). While each batch
// runs, the velmora-smb helpers alive and the resident memory of this process
// and its helpers are sampled.

#include "benchbatch.h"
#include "benchparts.h"
#include "benchserver.h"
#include "benchsupport.h"
#include "processwatch.h"
#include "proxyprocess.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <malloc.h>

namespace velmora::bench {

namespace {

constexpr int kTargets = 200;
constexpr int kShares = 8;
constexpr int kLimits[] = {200, 8};
constexpr int kRoundTripMs = 30;

struct Measured {
    double seconds = 0;
    ProcessPeaks peaks;
    std::uint64_t beforeKilobytes = 0;  // this process's VmRSS before the batch
    std::uint64_t ownPeakKilobytes = 0; // its VmHWM over the batch (0: could not be reset)
    std::string loadAfter;              // the load average at its end
};

// A checked copy batch of the held file to the rows, with the helpers and the
// memory sampled over it; the copies are emptied out first.
Measured measuredBatch(FakeBatchWindow& window, const std::vector<std::string>& rows,
                       const std::vector<std::string>& folders, int limit) {
    clearFolders({&folders});
    // Memory freed earlier but kept by the allocator goes back first, so that
    // the batch's own growth shows.
    ::malloc_trim(0);
    Measured measured;
    const bool reset = resetPeakMemory();
    measured.beforeKilobytes = statusKilobytes("VmRSS");
    ProcessWatch watch("velmora-smb");
    measured.seconds = timedCopyBatch(window, rows, limit, folders);
    measured.peaks = watch.stop();
    measured.ownPeakKilobytes = reset ? statusKilobytes("VmHWM") : 0;
    measured.loadAfter = loadAverage();
    return measured;
}

} // namespace

void scalePart(const std::string& root, std::uint64_t fileMiB) {
    std::printf("scale: load average %s (%d processors)\n", loadAverage().c_str(),
                processorCount());
    const auto bench = startBenchServer("scale", root);
    if (!bench)
        return;
    const testsupport::SambaServer& server = *bench->server;

    std::vector<std::string> rows, folders;
    for (int i = 0; i < kTargets; ++i) {
        const std::string share = "b" + std::to_string(i % kShares + 1);
        char folder[16];
        std::snprintf(folder, sizeof folder, "srv%03d", i + 1);
        folders.push_back(makeFolder(server.shareFolder(share) + "/" + folder));
        rows.push_back(server.unc(share, folder));
    }
    const std::string source = makeFolder(root + "/scale") + "/prog.exe";
    writeRandomFile(source, fileMiB * kMiB);
    FakeBatchWindow window;
    holdFile(window, source);

    const auto proxy =
        ProxyProcess::start(server.port(), std::chrono::microseconds(kRoundTripMs * 500));
    useSmbPort(proxy->port());
    std::printf("scale: one %llu MiB file to %d folders over %d shares through the proxy at "
                "rtt %d ms\n",
                static_cast<unsigned long long>(fileMiB), kTargets, kShares, kRoundTripMs);
    std::fflush(stdout);

    const std::vector<std::string> oneRow{rows.front()};
    const std::vector<std::string> oneFolder{folders.front()};
    std::vector<double> alone;
    std::vector<std::pair<int, Measured>> batches;
    alone.push_back(measuredBatch(window, oneRow, oneFolder, 1).seconds);
    for (const int limit : kLimits) {
        batches.emplace_back(limit, measuredBatch(window, rows, folders, limit));
        alone.push_back(measuredBatch(window, oneRow, oneFolder, 1).seconds);
    }
    clearFolders({&folders});
    useSmbPort(server.port());

    const double one = median(alone);
    for (const auto& [limit, m] : batches) {
        char ownPeak[32] = "unknown";
        if (m.ownPeakKilobytes != 0)
            std::snprintf(ownPeak, sizeof ownPeak, "%.1f", mebibytes(m.ownPeakKilobytes));
        std::printf("scale targets=%d limit=%d total_s=%.2f one_target_s=%.2f ratio=%.2f "
                    "peak_rss_mib=%.1f helpers=%d  # one round; one target: median of %zu (%s); "
                    "Pss of the same processes %.1f MiB at most; this process alone %s MiB at "
                    "most (VmHWM), %.1f before; the helpers' own (RssAnon) %.1f MiB at most; "
                    "%d samples, %.1f s of processor time; load %s\n",
                    kTargets, limit, m.seconds, one, one > 0 ? m.seconds / one : 0,
                    mebibytes(m.peaks.residentSum), m.peaks.helpers, alone.size(),
                    roundsText(alone).substr(1).c_str(), mebibytes(m.peaks.proportionalSum),
                    ownPeak, mebibytes(m.beforeKilobytes), mebibytes(m.peaks.helpersAnonymous),
                    m.peaks.samples, m.peaks.samplerCpuSeconds, m.loadAfter.c_str());
    }
}

} // namespace velmora::bench
