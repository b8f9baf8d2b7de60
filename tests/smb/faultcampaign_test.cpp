#include "app/formats.h"
#include "batch/batchcontext.h"
#include "batch/kopirajstart.h"
#include "platform/filesystem.h"
#include "serverlist/marks.h"
#include "support/batchfixture.h"
#include "support/childprocesses.h"
#include "support/fakebatchwindow.h"
#include "support/programrun.h"
#include "support/qtprinting.h"
#include "support/sambaserver.h"
#include "support/tempfolder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include <unistd.h>

namespace velmora::batch {
namespace {

using namespace serverlist;
using testsupport::patternBytes;
using testsupport::SambaServer;

QByteArray contentOf(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

int helperProcesses() {
    return static_cast<int>(testsupport::smbHelpersOf().size());
}

// The moments of a copy at which the server goes away.
enum class FaultPoint {
    Creating,        // the temporary file is being created
    Writing,         // part of the file is written
    Written,         // the temporary file is closed, not yet checked
    PlacementBegins, // before anything on the server is renamed
    BetweenRenames,  // the previous copy is under the backup name
    Placed,          // the new copy has its name, not yet its time stamp
};
enum class FaultKind { KilledAndRestarted, StoppedAndContinued };

const char* name(FaultPoint point) {
    switch (point) {
    case FaultPoint::Creating:
        return "creating";
    case FaultPoint::Writing:
        return "writing";
    case FaultPoint::Written:
        return "written";
    case FaultPoint::PlacementBegins:
        return "placement-begins";
    case FaultPoint::BetweenRenames:
        return "between-renames";
    case FaultPoint::Placed:
        return "placed";
    }
    return "?";
}

// The file system of the program, with a fault set off once, by whichever
// worker first reaches the chosen point.
class FaultInjector final : public platform::FileSystem {
public:
    FaultInjector(FaultPoint point, std::function<void()> fault)
        : point_(point), fault_(std::move(fault)) {}

    bool fired() const { return fired_.load(); }

    platform::Result<std::vector<char>> readWholeFile(const std::string& path) override {
        return real(path).readWholeFile(path);
    }
    platform::Result<platform::DirectoryEntry> findEntry(const std::string& path) override {
        if (isProgramName(path))
            at(FaultPoint::PlacementBegins);
        return real(path).findEntry(path);
    }
    bool fileExists(const std::string& path) override { return real(path).fileExists(path); }
    bool directoryExists(const std::string& path) override {
        return real(path).directoryExists(path);
    }
    platform::Result<std::unique_ptr<platform::WritableFile>>
    createForWriting(const std::string& path) override {
        at(FaultPoint::Creating);
        auto created = real(path).createForWriting(path);
        if (!created)
            return created.error();
        return std::unique_ptr<platform::WritableFile>(
            std::make_unique<File>(*this, std::move(created).value()));
    }
    platform::Result<std::unique_ptr<platform::WritableFile>>
    reopenForWriting(const std::string& path, std::uint64_t offset) override {
        return real(path).reopenForWriting(path, offset);
    }
    platform::Status deleteFile(const std::string& path) override {
        return real(path).deleteFile(path);
    }
    platform::Status renameNoReplace(const std::string& from, const std::string& to) override {
        platform::Status renamed = real(from).renameNoReplace(from, to);
        if (isProgramName(from))
            at(FaultPoint::BetweenRenames);
        else if (isProgramName(to))
            at(FaultPoint::Placed);
        return renamed;
    }
    bool replacesInOneStep(const std::string& path) override {
        return real(path).replacesInOneStep(path);
    }
    platform::Status renameReplacing(const std::string& from, const std::string& to) override {
        return real(from).renameReplacing(from, to);
    }
    platform::Status linkOrCopy(const std::string& from, const std::string& to) override {
        return real(from).linkOrCopy(from, to);
    }
    platform::Status setLastWriteTime(const std::string& path, platform::DosTime time) override {
        return real(path).setLastWriteTime(path, time);
    }

private:
    class File final : public platform::WritableFile {
    public:
        File(FaultInjector& owner, std::unique_ptr<platform::WritableFile> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        platform::Result<std::size_t> write(const char* data, std::size_t size) override {
            return inner_->write(data, size);
        }
        platform::Result<std::size_t> writeStable(const char* data, std::size_t size) override {
            return inner_->writeStable(data, size);
        }
        std::uint64_t acceptedBytes() const override { return inner_->acceptedBytes(); }
        void abandon() override { inner_->abandon(); }
        platform::Status reopenAt(std::uint64_t offset) override {
            if (++reopens_ == 2)
                owner_.at(FaultPoint::Writing);
            return inner_->reopenAt(offset);
        }
        platform::Status close() override {
            platform::Status closed = inner_->close();
            owner_.at(FaultPoint::Written);
            return closed;
        }

    private:
        FaultInjector& owner_;
        std::unique_ptr<platform::WritableFile> inner_;
        int reopens_ = 0;
    };

    static platform::FileSystem& real(const std::string& path) {
        return platform::fileSystemFor(path);
    }
    // The program's own name on the server: neither the temporary nor the
    // backup name.
    static bool isProgramName(const std::string& path) {
        return path.size() >= 9 && path.compare(path.size() - 9, 9, "\\prog.bin") == 0;
    }
    void at(FaultPoint point) {
        if (point == point_ && !fired_.exchange(true))
            fault_();
    }

    FaultPoint point_;
    std::function<void()> fault_;
    std::atomic<bool> fired_{false};
};

// Copies to shares of a private Samba server of the suite's own, which the
// tests kill, restart, stop and continue.
class ShareFaultTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("VELMORA_SMB_HELPER", VELMORA_SMB_HELPER_PATH, 1);
        server = SambaServer::start(&whyNoServer).release();
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    void SetUp() override {
        if (!server && geteuid() != 0)
            GTEST_SKIP() << "Samba needs root here: " << whyNoServer;
        ASSERT_NE(server, nullptr) << whyNoServer;
        setenv("VELMORA_SMB_PORT", std::to_string(server->port()).c_str(), 1);
        setenv("VELMORA_SMB_CREDENTIALS", (temp.path() + "none").c_str(), 1);
        // A stopped server fails a request within about a second, and our own
        // bound of the request is 7 s.
        setenv("VELMORA_SMB_TIMEOUT", "1", 1);
        app::applyProgramFormats();
    }
    void TearDown() override { unsetenv("VELMORA_SMB_TIMEOUT"); }

    // Share folders b1..b8, each with "app" holding the previous version.
    std::vector<std::string> prepareShares(const QByteArray& previous, int foldersPerShare) {
        std::vector<std::string> rows;
        for (int share = 1; share <= 8; ++share) {
            for (int f = 0; f < foldersPerShare; ++f) {
                const std::string shareName = "b" + std::to_string(share);
                const std::string app = "app" + std::to_string(f);
                const std::string onDisk = server->shareFolder(shareName) + "/" + app;
                std::filesystem::remove_all(onDisk);
                std::filesystem::create_directories(onDisk);
                QFile file(QString::fromStdString(onDisk + "/prog.bin"));
                EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(previous) > 0);
                rows.push_back(server->unc(shareName, app));
            }
        }
        return rows;
    }
    static std::string onDisk(const std::string& row) {
        // \\127.0.0.1\bN\appM -> <share folder of bN>/appM
        const std::size_t share = row.find('\\', 2) + 1;
        const std::size_t folder = row.find('\\', share);
        return server->shareFolder(row.substr(share, folder - share)) + "/" +
               row.substr(folder + 1);
    }

    static inline SambaServer* server = nullptr;
    static inline std::string whyNoServer;
    testsupport::TempFolder temp;
};

class FaultCampaignTest : public ShareFaultTest,
                          public testing::WithParamInterface<std::tuple<FaultPoint, FaultKind>> {};

// At each point of a copy to eight shares the server goes away (killed, then
// restarted; or stopped past the request time-out, then continued). After each
// trial every share holds a whole previous or new program under its name, each
// row tells which, and no helper is left.
TEST_P(FaultCampaignTest, EveryShareKeepsAWholeProgramAndEveryRowTellsTheTruth) {
    const auto [point, kind] = GetParam();
    constexpr int kTrials = 4;
    int sharesChecked = 0;
    int sharesWithoutProgram = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        const QByteArray previous = "previous version " + QByteArray::number(trial);
        const QByteArray fresh = patternBytes(300000 + trial); // several reopens
        const std::vector<std::string> rows = prepareShares(previous, 1);
        testsupport::FakeBatchWindow window;
        const std::string local = temp.write("prog.bin", fresh);
        ASSERT_TRUE(window.fileSet().add(local).ok());
        window.load(rows);

        std::thread comeBack;
        FaultInjector injector(point, [&, kind = kind] {
            if (kind == FaultKind::KilledAndRestarted) {
                server->kill();
                comeBack = std::thread([] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(400));
                    std::string why;
                    EXPECT_TRUE(server->restart(&why)) << why;
                });
            } else {
                server->pause();
                comeBack = std::thread([] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
                    server->resume();
                });
            }
        });
        auto context = std::make_shared<BatchContext>(
            window, [&](const std::string&) -> platform::FileSystem& { return injector; });
        context->state().setLimit(8);
        (new TKopirajStart(context))->Start();
        const bool settled = testsupport::processEventsUntil(
            [&] {
                return context->state().liveWorkers() == 0 &&
                       context->state().liveDispatchers() == 0;
            },
            90000);
        if (comeBack.joinable())
            comeBack.join();
        ASSERT_TRUE(settled) << "batch hung";
        ASSERT_TRUE(injector.fired()) << "the copy never reached " << name(point);
        context->close();

        for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
            const QByteArray held = contentOf(onDisk(rows[row]) + "/prog.bin");
            const bool whole = held == fresh || held == previous;
            ++sharesChecked;
            if (!whole)
                ++sharesWithoutProgram;
            EXPECT_TRUE(whole) << rows[row] << " holds " << held.left(30).toStdString();
            EXPECT_EQ(window.lista().mark(row) == MarkCopied, held == fresh)
                << rows[row] << ": " << window.lista().subItem(row, 1).toStdString();
            EXPECT_TRUE(window.lista().mark(row) == MarkCopied ||
                        window.lista().mark(row) == MarkCopyFailed);
        }
        EXPECT_TRUE(testsupport::processEventsUntil([] { return helperProcesses() == 0; }, 5000))
            << "helpers left behind";
    }
    std::printf("fault campaign %s/%s: %d trials, %d shares checked, %d without a whole program\n",
                name(point), kind == FaultKind::KilledAndRestarted ? "killed" : "stopped", kTrials,
                sharesChecked, sharesWithoutProgram);
}

INSTANTIATE_TEST_SUITE_P(
    AtEachStep, FaultCampaignTest,
    testing::Combine(testing::Values(FaultPoint::Creating, FaultPoint::Writing, FaultPoint::Written,
                                     FaultPoint::PlacementBegins, FaultPoint::BetweenRenames,
                                     FaultPoint::Placed),
                     testing::Values(FaultKind::KilledAndRestarted,
                                     FaultKind::StoppedAndContinued)),
    [](const testing::TestParamInfo<std::tuple<FaultPoint, FaultKind>>& info) {
        std::string label = name(std::get<0>(info.param));
        std::replace(label.begin(), label.end(), '-', '_');
        return label +
               (std::get<1>(info.param) == FaultKind::KilledAndRestarted ? "_killed" : "_stopped");
    });

// Local folders and shares in one batch: a local copy's reopen can never lose
// its lock to a helper process that another worker starts meanwhile.
TEST_F(ShareFaultTest, MixedLocalAndShareRowsCopyWithoutSpuriousFailures) {
    const QByteArray fresh = patternBytes(400000);
    const std::string local = temp.write("prog.bin", fresh);
    int failures = 0;
    for (int round = 0; round < 10; ++round) {
        std::vector<std::string> rows = prepareShares("previous", 1);
        rows.resize(6);
        for (int i = 0; i < 6; ++i) {
            const std::string folder = temp.path() + "local" + std::to_string(i);
            std::filesystem::create_directories(folder);
            rows.push_back(folder);
        }
        testsupport::FakeBatchWindow window;
        ASSERT_TRUE(window.fileSet().add(local).ok());
        window.load(rows);
        auto context = std::make_shared<BatchContext>(window);
        context->state().setLimit(12);
        (new TKopirajStart(context))->Start();
        ASSERT_TRUE(testsupport::processEventsUntil([&] {
            return context->state().liveWorkers() == 0 && context->state().liveDispatchers() == 0;
        }));
        context->close();
        for (int row = 0; row < 12; ++row) {
            if (window.lista().mark(row) != MarkCopied) {
                ++failures;
                ADD_FAILURE() << "round " << round << ": " << rows[row] << " "
                              << window.lista().subItem(row, 1).toStdString();
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

// "Kraj programa" in the middle of a copy to forty shares (each trial closes
// once two more rows than in the trial before have been copied): the process
// ends without waiting for copies that are writing, after those in their
// renames.
TEST_F(ShareFaultTest, ClosingMidBatchNeverLeavesAServerWithoutItsProgram) {
    const QByteArray fresh = patternBytes(20000);
    const std::string local = temp.write("prog.bin", fresh);
    int serversWithoutProgram = 0;
    int copied = 0;
    constexpr int kTrials = 20;
    for (int trial = 0; trial < kTrials; ++trial) {
        const std::vector<std::string> rows = prepareShares("previous", 5);
        std::vector<std::string> args{std::to_string(trial * 2), local};
        args.insert(args.end(), rows.begin(), rows.end());
        const testsupport::ProgramRun run = testsupport::runProgram(VELMORA_CLOSE_PROBE, args);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        for (const std::string& row : rows) {
            const QByteArray held = contentOf(onDisk(row) + "/prog.bin");
            if (held == fresh)
                ++copied;
            else if (held != "previous")
                ++serversWithoutProgram;
        }
        EXPECT_EQ(serversWithoutProgram, 0) << "trial " << trial << ":\n" << run.output;
    }
    std::printf("closed mid-batch: %d trials, %d servers, %d copied, %d without their program\n",
                kTrials, kTrials * 40, copied, serversWithoutProgram);
    EXPECT_GT(copied, 0) << "no close came late enough to let any copy finish";
    EXPECT_LT(copied, kTrials * 40) << "no close came before the copies ended";
}

} // namespace
} // namespace velmora::batch
