// The classic run of the copy benchmark: copy batches through TKopirajStart and
// TKopiraj the way the window runs them, without widgets, and four figures:
//   a. throughput of one file to 8 local folders against cp doing the same,
//   b. processor time while a dispatcher waits for a free slot,
//   c. resident memory while 50 copy workers are alive on one file,
//   d. throughput of one file to 8 shares of a private Samba server on 127.0.0.1
//      against smbclient doing the same (skipped when the server cannot start).
// The file size of parts a and d is given; part c uses 64 MiB or that size when
// smaller. The copies of part d go to the Samba server's own temporary folder,
// which goes with the server.

#include "benchbatch.h"
#include "benchparts.h"
#include "benchsupport.h"
#include "platform/filesystem.h"
#include "platform/localfilesystem.h"
#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"
#include "support/fakebatchwindow.h"
#include "support/faultyfilesystem.h"
#include "support/sambaserver.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <malloc.h>

namespace velmora::bench {

namespace {

constexpr int kThroughputFolders = 8;
constexpr int kRounds = 3;
constexpr int kMemoryWorkers = 50;
constexpr std::uint64_t kMemoryFileMiB = 64;
constexpr std::uint64_t kWaitFileMiB = 4;
constexpr int kWaitMeasureMs = 2000;
constexpr double kSmbSeconds = 60; // the rounds of part d after the first must fit in this

// The local file system, except that a file being written stops once holdAt
// bytes of it are in place and waits at the gate until it opens: a copy held
// mid-way, with its worker alive.
class HoldingFileSystem final : public platform::FileSystem {
public:
    explicit HoldingFileSystem(std::uint64_t holdAt) : holdAt_(holdAt) {}

    testsupport::Gate gate;

    platform::Result<std::vector<char>> readWholeFile(const std::string& path) override {
        return local_.readWholeFile(path);
    }
    platform::Result<platform::DirectoryEntry> findEntry(const std::string& path) override {
        return local_.findEntry(path);
    }
    bool fileExists(const std::string& path) override { return local_.fileExists(path); }
    bool directoryExists(const std::string& path) override { return local_.directoryExists(path); }
    platform::Result<std::unique_ptr<platform::WritableFile>>
    createForWriting(const std::string& path) override {
        return wrap(local_.createForWriting(path), 0);
    }
    platform::Result<std::unique_ptr<platform::WritableFile>>
    reopenForWriting(const std::string& path, std::uint64_t offset) override {
        return wrap(local_.reopenForWriting(path, offset), offset);
    }
    platform::Status deleteFile(const std::string& path) override {
        return local_.deleteFile(path);
    }
    platform::Status renameNoReplace(const std::string& from, const std::string& to) override {
        return local_.renameNoReplace(from, to);
    }
    bool replacesInOneStep(const std::string& path) override {
        return local_.replacesInOneStep(path);
    }
    platform::Status renameReplacing(const std::string& from, const std::string& to) override {
        return local_.renameReplacing(from, to);
    }
    platform::Status linkOrCopy(const std::string& from, const std::string& to) override {
        return local_.linkOrCopy(from, to);
    }
    platform::Status setLastWriteTime(const std::string& path, platform::DosTime time) override {
        return local_.setLastWriteTime(path, time);
    }

private:
    class File final : public platform::WritableFile {
    public:
        File(HoldingFileSystem& owner, std::unique_ptr<platform::WritableFile> inner,
             std::uint64_t position)
            : owner_(owner), inner_(std::move(inner)), position_(position) {}
        platform::Result<std::size_t> write(const char* data, std::size_t size) override {
            if (position_ >= owner_.holdAt_)
                owner_.gate.pass();
            auto written = inner_->write(data, size);
            if (written)
                position_ += written.value();
            return written;
        }
        platform::Result<std::size_t> writeStable(const char* data, std::size_t size) override {
            if (position_ >= owner_.holdAt_)
                owner_.gate.pass();
            auto written = inner_->writeStable(data, size);
            if (written)
                position_ += written.value();
            return written;
        }
        std::uint64_t acceptedBytes() const override { return inner_->acceptedBytes(); }
        void abandon() override { inner_->abandon(); }
        platform::Status reopenAt(std::uint64_t offset) override {
            position_ = offset;
            return inner_->reopenAt(offset);
        }
        platform::Status close() override { return inner_->close(); }

    private:
        HoldingFileSystem& owner_;
        std::unique_ptr<platform::WritableFile> inner_;
        std::uint64_t position_;
    };

    platform::Result<std::unique_ptr<platform::WritableFile>>
    wrap(platform::Result<std::unique_ptr<platform::WritableFile>> opened, std::uint64_t at) {
        if (!opened)
            return opened.error();
        return std::unique_ptr<platform::WritableFile>(
            std::make_unique<File>(*this, std::move(opened).value(), at));
    }

    std::uint64_t holdAt_;
    platform::LocalFileSystem local_;
};

void throughput(const std::string& root, std::uint64_t fileMiB) {
    const std::uint64_t size = fileMiB * kMiB;
    const std::string source = makeFolder(root + "/source") + "/throughput.bin";
    writeRandomFile(source, size);
    const auto velmoraFolders = makeFolders(root + "/velmora", kThroughputFolders);
    const auto cpFolders = makeFolders(root + "/cp", kThroughputFolders);

    FakeBatchWindow window;
    const Clock::time_point addStart = Clock::now();
    holdFile(window, source);
    const double addSeconds = secondsSince(addStart);

    // Every timed run starts alike: the copies of both sides gone, nothing
    // left to write back, and the same untimed pass run just before (8 cp at
    // once, removed again). The pass matters: a run that follows velmora's
    // 2 KiB writes finds the kernel's memory in another state than one that
    // follows cp, and cp's run was then several times slower. Each round runs
    // all three, the odd round in reverse order, so that neither side always
    // comes first.
    auto startAlike = [&] {
        clearFolders({&velmoraFolders, &cpFolders});
        (void)runCp(source, cpFolders, true);
        clearFolders({&cpFolders});
    };
    std::vector<double> velmora, cpParallel, cpSequential;
    for (int round = 0; round < kRounds; ++round) {
        const bool reverse = round % 2 == 1;
        if (!reverse) {
            startAlike();
            velmora.push_back(timedCopyBatch(window, velmoraFolders, kThroughputFolders));
        }
        startAlike();
        cpParallel.push_back(timedCp(source, cpFolders, *window.fileSet().image(), true));
        startAlike();
        cpSequential.push_back(timedCp(source, cpFolders, *window.fileSet().image(), false));
        if (reverse) {
            startAlike();
            velmora.push_back(timedCopyBatch(window, velmoraFolders, kThroughputFolders));
        }
    }
    clearFolders({&velmoraFolders, &cpFolders});

    const std::uint64_t total = size * kThroughputFolders;
    const double v = median(velmora);
    const double p = median(cpParallel);
    const double s = median(cpSequential);
    std::printf("a. Throughput: one %llu MiB file of random bytes to %d local folders, "
                "median of %d rounds (1 MB = 10^6 bytes)\n",
                static_cast<unsigned long long>(fileMiB), kThroughputFolders, kRounds);
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "velmora, TKopirajStart, limit 8", v,
                megabytesPerSecond(total, v), roundsText(velmora).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "cp, 8 processes at once", p,
                megabytesPerSecond(total, p), roundsText(cpParallel).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "cp, 8 processes one after another", s,
                megabytesPerSecond(total, s), roundsText(cpSequential).c_str());
    std::printf("   velmora/cp time ratio: %.2f\n", p > 0 ? v / p : 0);
    std::printf("   velmora/sequential cp time ratio: %.2f\n", s > 0 ? v / s : 0);
    std::printf("   %-44s %8.3f s   (before the batch, not in its time)\n",
                "velmora Add, reading the file into memory", addSeconds);
}

void cpuWhileWaiting(const std::string& root, std::uint64_t fileMiB) {
    const std::uint64_t size = fileMiB * kMiB;
    const std::string source = makeFolder(root + "/source") + "/wait.bin";
    writeRandomFile(source, size);
    const auto folders = makeFolders(root + "/wait", 3);

    FakeBatchWindow window;
    holdFile(window, source);
    HoldingFileSystem held(size / 2);
    held.gate.shut();
    auto context = startCopyBatch(
        window, folders, 2, [&](const std::string&) -> platform::FileSystem& { return held; });
    if (!runEventsUntil([&] { return held.gate.waiting() == 2; }, 30000))
        fail("CPU while waiting: the two copies did not reach the shut gate");
    runEventsFor(100); // lets the dispatcher reach its wait for the third row

    const double cpuStart = processCpuSeconds();
    const Clock::time_point start = Clock::now();
    runEventsFor(kWaitMeasureMs);
    const double wall = secondsSince(start);
    const double cpu = processCpuSeconds() - cpuStart;

    // The third row must still be waiting: otherwise the figure is not of a wait.
    if (context->state().liveWorkers() != 2 || context->state().liveDispatchers() != 1 ||
        window.lista().mark(2) != serverlist::MarkUnknown)
        fail("CPU while waiting: the dispatcher did not wait for a free slot");
    held.gate.open();
    finishCopyBatch("CPU while waiting", window, context, folders);

    std::printf("b. CPU while waiting: limit 2, 3 rows, 2 copies held mid-way by a shut gate, "
                "the dispatcher waiting for a slot\n");
    std::printf("   %-44s %8.3f s over %.3f s of waiting = %.2f%% of one core\n",
                "process CPU time (user+sys)", cpu, wall, wall > 0 ? cpu / wall * 100 : 0);
}

void memoryWithLiveWorkers(const std::string& root, std::uint64_t fileMiB) {
    const std::uint64_t size = fileMiB * kMiB;
    const std::string source = makeFolder(root + "/source") + "/memory.bin";
    writeRandomFile(source, size);
    const auto folders = makeFolders(root + "/memory", kMemoryWorkers);

    // Memory the earlier parts freed but the allocator kept goes back first, so
    // that the image read at Add cannot hide in it and the growth tells it all.
    ::malloc_trim(0);
    const bool peakReset = resetPeakMemory();
    const std::uint64_t before = statusKilobytes("VmRSS");
    FakeBatchWindow window;
    holdFile(window, source);
    const std::uint64_t afterAdd = statusKilobytes("VmRSS");
    HoldingFileSystem held(size / 2);
    held.gate.shut();
    auto context =
        startCopyBatch(window, folders, kMemoryWorkers,
                       [&](const std::string&) -> platform::FileSystem& { return held; });
    if (!runEventsUntil([&] { return held.gate.waiting() == kMemoryWorkers; }, 60000))
        fail("peak memory: the copies did not all reach the shut gate (" +
             std::to_string(held.gate.waiting()) + " did)");
    runEventsFor(100);
    const std::uint64_t alive = statusKilobytes("VmRSS");
    const std::uint64_t peak = statusKilobytes("VmHWM");
    const int liveWorkers = context->state().liveWorkers();
    held.gate.open();
    finishCopyBatch("peak memory", window, context, folders);
    if (liveWorkers != kMemoryWorkers)
        fail("peak memory: " + std::to_string(liveWorkers) + " workers were alive, not " +
             std::to_string(kMemoryWorkers));
    clearFolders({&folders});

    const double file = static_cast<double>(fileMiB);
    const double growth = mebibytes(alive) - mebibytes(before);
    const double workers = mebibytes(alive) - mebibytes(afterAdd);
    std::printf("c. Peak memory: %d live copy workers on one %llu MiB file, each held mid-way "
                "by a shut gate\n",
                kMemoryWorkers, static_cast<unsigned long long>(fileMiB));
    std::printf("   %-44s %8.1f MiB\n", "resident before the Add (VmRSS)", mebibytes(before));
    std::printf("   %-44s %8.1f MiB\n", "resident after the Add", mebibytes(afterAdd));
    std::printf("   %-44s %8.1f MiB\n", "resident with 50 workers alive", mebibytes(alive));
    std::printf("   %-44s %8.1f MiB%s\n", "peak resident (VmHWM)", mebibytes(peak),
                peakReset ? " (reset before the Add)" : " (of the whole run: could not reset)");
    std::printf("   growth over the batch: %.1f MiB = %.2fx the file size\n", growth,
                growth / file);
    std::printf("   growth from the 50 workers alone: %.1f MiB = %.2fx the file size\n", workers,
                workers / file);
}

void smbThroughput(const std::string& root, std::uint64_t fileMiB) {
    std::string whyNot;
    std::unique_ptr<testsupport::SambaServer> server = testsupport::SambaServer::start(&whyNot);
    if (!server) {
        std::printf("d. SMB throughput: SKIPPED, the private Samba server did not start:\n");
        std::string line;
        for (std::istringstream lines(whyNot); std::getline(lines, line);)
            std::printf("   %s\n", line.c_str());
        return;
    }
    // The helper processes read these at every request. The user's own
    // credentials file must not decide how the guest shares are reached.
    ::setenv("VELMORA_SMB_PORT", std::to_string(server->port()).c_str(), 1);
    ::setenv("VELMORA_SMB_CREDENTIALS", (root + "/no-smb-credentials").c_str(), 1);

    std::vector<std::string> shares, rows, folders;
    for (int i = 1; i <= kThroughputFolders; ++i) {
        shares.push_back("b" + std::to_string(i));
        rows.push_back(server->unc(shares.back()));
        folders.push_back(server->shareFolder(shares.back()));
    }
    const ServerScratch registered(
        {server->root(), folders, server->hasFullShare() ? server->shareFolder("full") : ""});

    // Both sides write the same name onto the same shares, one run at a time,
    // so that each writes into empty shares of the same server.
    const std::uint64_t size = fileMiB * kMiB;
    const std::string sourceFolder = makeFolder(root + "/smb");
    const std::string name = "prog.exe";
    const std::string source = sourceFolder + "/" + name;
    writeRandomFile(source, size);
    FakeBatchWindow window;
    holdFile(window, source);
    const std::vector<char>& image = *window.fileSet().image();

    // Every timed run starts with the shares emptied and the disk flushed; the
    // odd round runs the four in reverse order.
    std::vector<double> velmoraOne, velmoraAll, smbSequential, smbParallel;
    auto runOne = [&](int which) {
        clearFolders({&folders});
        switch (which) {
        case 0:
            velmoraOne.push_back(timedCopyBatch(window, rows, 1, folders));
            break;
        case 1:
            velmoraAll.push_back(timedCopyBatch(window, rows, kThroughputFolders, folders));
            break;
        case 2:
            smbSequential.push_back(
                runSmbclient(source, name, shares, server->port(), sourceFolder, false));
            checkSmbclientCopies(folders, name, image, sourceFolder, shares);
            break;
        default:
            smbParallel.push_back(
                runSmbclient(source, name, shares, server->port(), sourceFolder, true));
            checkSmbclientCopies(folders, name, image, sourceFolder, shares);
            break;
        }
    };
    // A round of the full size takes most of a minute on 2 cores (the worker
    // reopens its file every 64 KiB, and over SMB each reopen is an open, a
    // write and a close on the server): the other rounds run only when they fit
    // in the time this part may take, else the figures are of the one round.
    int rounds = 0;
    double firstRound = 0;
    for (; rounds < kRounds; ++rounds) {
        const Clock::time_point roundStart = Clock::now();
        const bool reverse = rounds % 2 == 1;
        for (int step = 0; step < 4; ++step)
            runOne(reverse ? 3 - step : step);
        if (rounds == 0) {
            firstRound = secondsSince(roundStart);
            if (firstRound * kRounds > kSmbSeconds) {
                rounds = 1;
                break;
            }
        }
    }
    clearFolders({&folders});

    const std::uint64_t total = size * kThroughputFolders;
    const double v1 = median(velmoraOne);
    const double v8 = median(velmoraAll);
    const double s = median(smbSequential);
    const double p = median(smbParallel);
    char roundsLine[160];
    if (rounds == kRounds)
        std::snprintf(roundsLine, sizeof roundsLine, "median of %d rounds", kRounds);
    else
        std::snprintf(roundsLine, sizeof roundsLine,
                      "one round (it took %.0f s; %d would take more than the %.0f s allowed)",
                      firstRound, kRounds, kSmbSeconds);
    std::printf("d. SMB throughput: one %llu MiB file of random bytes to %d shares of a private "
                "Samba server on 127.0.0.1, %s\n",
                static_cast<unsigned long long>(fileMiB), kThroughputFolders, roundsLine);
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "velmora, TKopirajStart, limit 1", v1,
                megabytesPerSecond(total, v1), roundsText(velmoraOne).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "smbclient put, 8 one after another",
                s, megabytesPerSecond(total, s), roundsText(smbSequential).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "velmora, TKopirajStart, limit 8", v8,
                megabytesPerSecond(total, v8), roundsText(velmoraAll).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "smbclient put, 8 processes at once",
                p, megabytesPerSecond(total, p), roundsText(smbParallel).c_str());
    std::printf("   velmora limit 1/sequential smbclient time ratio: %.2f\n", s > 0 ? v1 / s : 0);
    std::printf("   velmora limit 8/parallel smbclient time ratio: %.2f\n", p > 0 ? v8 / p : 0);
}

} // namespace

void classicRun(const std::string& root, std::uint64_t fileMiB) {
    throughput(root, fileMiB);
    std::fflush(stdout);
    cpuWhileWaiting(root, std::min(kWaitFileMiB, fileMiB));
    std::fflush(stdout);
    memoryWithLiveWorkers(root, std::min(kMemoryFileMiB, fileMiB));
    std::fflush(stdout);
    smbThroughput(root, fileMiB);
}

} // namespace velmora::bench
