#include "app/formats.h"
#include "app/journalrecords.h"
#include "batch/abortcopy.h"
#include "batch/batchcontext.h"
#include "batch/kopirajstart.h"
#include "batch/proverastart.h"
#include "batch/verstart.h"
#include "platform/filesystem.h"
#include "serverlist/filesource.h"
#include "serverlist/marks.h"
#include "support/batchfixture.h"
#include "support/childprocesses.h"
#include "support/fakebatchwindow.h"
#include "support/latencyproxy.h"
#include "support/programrun.h"
#include "support/qtprinting.h"
#include "support/sambaserver.h"
#include "support/tempfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
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

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// The helper processes this process has started and that are still there.
int helperProcesses() {
    return static_cast<int>(testsupport::smbHelpersOf().size());
}

// The time from sending an SMB2 NEGOTIATE on a new connection to 127.0.0.1:port
// until the start of the server's answer is back: exactly one round trip.
// Negative when no SMB2 answer came.
std::chrono::microseconds negotiateRoundTrip(int port) {
    // NetBIOS length, then the 64-byte SMB2 header (command 0, one credit asked
    // for) and the request offering dialect 2.02 only.
    std::array<unsigned char, 4 + 64 + 38> request{};
    const unsigned char start[] = {0, 0, 0, 64 + 38, 0xfe, 'S', 'M', 'B', 64};
    std::copy(std::begin(start), std::end(start), request.begin());
    request[4 + 14] = 1;                             // CreditRequest
    request[4 + 64] = 36;                            // StructureSize
    request[4 + 64 + 2] = 1;                         // DialectCount
    request[4 + 64 + 4] = 1;                         // SecurityMode: signing enabled
    request[4 + 64 + 36] = request[4 + 64 + 37] = 2; // dialect 0x0202
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    std::array<unsigned char, 8> answer{};
    std::size_t got = 0;
    auto began = std::chrono::steady_clock::now();
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        // The connection's own set-up is not part of the request's round trip.
        began = std::chrono::steady_clock::now();
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            for (ssize_t n; got < answer.size() &&
                            (n = recv(fd, answer.data() + got, answer.size() - got, 0)) > 0;)
                got += static_cast<std::size_t>(n);
        }
    }
    const auto took = std::chrono::steady_clock::now() - began;
    close(fd);
    if (got < answer.size() || answer[4] != 0xfe || answer[5] != 'S')
        return std::chrono::microseconds(-1);
    return std::chrono::duration_cast<std::chrono::microseconds>(took);
}

// Batches on \\127.0.0.1\share rows of a private Samba server, through the same
// file system the program uses.
class SmbShareTest : public testing::Test {
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
        useServer(*server);
        // The user's own credentials file must not decide a test.
        setenv("VELMORA_SMB_CREDENTIALS", (temp.path() + "none").c_str(), 1);
        unsetenv("VELMORA_SMB_TIMEOUT");
        unsetenv("VELMORA_LIST_CHARSET");
        app::applyProgramFormats();
        context = std::make_shared<BatchContext>(window);
    }
    void TearDown() override {
        unsetenv("VELMORA_LIST_CHARSET");
        if (!context)
            return;
        context->close();
        testsupport::processEventsUntil([this] { return idle(); }, 30000);
    }

    static void useServer(const SambaServer& s) {
        setenv("VELMORA_SMB_PORT", std::to_string(s.port()).c_str(), 1);
    }
    bool idle() const {
        return context->state().liveWorkers() == 0 && context->state().liveDispatchers() == 0;
    }
    void settle(int timeoutMs = 30000) {
        ASSERT_TRUE(testsupport::processEventsUntil([this] { return idle(); }, timeoutMs))
            << "batch hung";
    }
    void run(BatchStart* dispatcher) {
        dispatcher->Start();
        settle();
    }
    // A folder on the share (made on the server's disk) and its network path.
    std::string shareFolder(const SambaServer& s, const std::string& share,
                            const std::string& name) {
        std::filesystem::create_directories(s.shareFolder(share) + "/" + name);
        return s.unc(share, name);
    }
    std::string holdFile(const QByteArray& bytes) {
        const std::string path = temp.write("prog.exe", bytes);
        EXPECT_TRUE(window.fileSet().add(path).ok());
        return path;
    }
    QString info(int row) { return window.lista().subItem(row, 1); }
    int mark(int row) { return window.lista().mark(row); }

    static inline SambaServer* server = nullptr;
    static inline std::string whyNoServer;
    testsupport::TempFolder temp;
    testsupport::FakeBatchWindow window;
    std::shared_ptr<BatchContext> context;
};

TEST_F(SmbShareTest, CopyKeepsTheBackupAndStampThenTheVersionCheckFindsItIdentical) {
    // A branch name with a blank and a Serbian letter reaches the server as written.
    const std::string onDisk = server->shareFolder("pub") + "/srv01 Šabac";
    const std::string row = shareFolder(*server, "pub", "srv01 Šabac");
    const QByteArray first = patternBytes(300000); // several reopens, not a block multiple
    const std::string local = holdFile(first);
    window.load({row});
    run(new TKopirajStart(context));
    ASSERT_EQ(mark(0), MarkCopied) << info(0) << window.memo2.join("\n");
    EXPECT_EQ(window.lista().subItem(0, 0), "100%");
    EXPECT_EQ(contentOf(onDisk + "/prog.exe"), first);
    EXPECT_FALSE(exists(onDisk + "/prog.exe~"));

    // The second copy moves the first to the backup name; both carry the stamp.
    const QByteArray second = patternBytes(70000);
    QFile(QString::fromStdString(local)).remove();
    window.fileSet().clear();
    holdFile(second);
    const platform::DosTime held = window.fileSet().heldTime().value();
    run(new TKopirajStart(context));
    ASSERT_EQ(mark(0), MarkCopied) << info(0);
    EXPECT_EQ(contentOf(onDisk + "/prog.exe"), second);
    EXPECT_EQ(contentOf(onDisk + "/_prog.exe"), first);
    auto entry = platform::fileSystemFor(row).findEntry(row + "\\prog.exe");
    ASSERT_TRUE(entry.ok()) << entry.error().message;
    EXPECT_EQ(entry.value().time, held);
    EXPECT_EQ(entry.value().size, 70000u);

    run(new TVerStart(context));
    EXPECT_EQ(mark(0), MarkGoodVersion) << info(0) << window.memo2.join("\n");
}

// The console copier, a process of its own, reaches the share through its own
// helper; the environment tells it the server's port.
TEST_F(SmbShareTest, ConsoleCopierPutsTheFileOnTheShareAndThenFindsItUpToDate) {
    const std::string folder = shareFolder(*server, "pub", "copier");
    const QByteArray bytes = patternBytes(300000);
    temp.write("prog.exe", bytes);
    const std::vector<std::string> args{temp.path(), folder + "\\", "prog.exe", "/Z"};
    testsupport::ProgramRun run = testsupport::runProgram(VELMORA_COPIER_PATH, args);
    ASSERT_EQ(run.exitCode, 1) << run.output;
    platform::FileSystem& share = platform::fileSystemFor(folder);
    auto copied = share.readWholeFile(folder + "\\prog.exe");
    ASSERT_TRUE(copied.ok()) << copied.error().message;
    EXPECT_EQ(QByteArray(copied.value().data(), static_cast<qsizetype>(copied.value().size())),
              bytes);
    const auto onDisk = std::filesystem::directory_iterator(server->shareFolder("pub") + "/copier");
    EXPECT_EQ(std::distance(onDisk, {}), 1) << "no partial file stays";
    // Its size and time stamp on the share are the source's.
    run = testsupport::runProgram(VELMORA_COPIER_PATH, args);
    EXPECT_EQ(run.exitCode, 0) << run.output;
}

TEST_F(SmbShareTest, RenameNeverReplacesAndTheFolderTestWantsAFolder) {
    const std::string onDisk = server->shareFolder("pub") + "/names";
    const std::string folder = shareFolder(*server, "pub", "names");
    std::ofstream(onDisk + "/a") << "first";
    std::ofstream(onDisk + "/b") << "second";
    platform::FileSystem& fs = platform::fileSystemFor(folder);
    const platform::Status refused = fs.renameNoReplace(folder + "\\a", folder + "\\b");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().code, EEXIST);
    EXPECT_EQ(contentOf(onDisk + "/a"), "first");
    EXPECT_EQ(contentOf(onDisk + "/b"), "second");
    EXPECT_TRUE(fs.renameNoReplace(folder + "\\a", folder + "\\c").ok());
    EXPECT_EQ(contentOf(onDisk + "/c"), "first");

    EXPECT_TRUE(fs.directoryExists(folder));
    EXPECT_FALSE(fs.directoryExists(folder + "\\b"));
    EXPECT_TRUE(fs.fileExists(folder + "\\b"));
    EXPECT_FALSE(fs.fileExists(folder));
}

TEST_F(SmbShareTest, AFileOpenForWritingIsSharedWithNobody) {
    const std::string onDisk = server->shareFolder("pub") + "/excl";
    const std::string file = shareFolder(*server, "pub", "excl") + "\\prog.exe~";
    std::ofstream(onDisk + "/prog.exe~") << "first writer";
    auto first = platform::fileSystemFor(file).reopenForWriting(file, 0);
    ASSERT_TRUE(first.ok()) << first.error().message;
    // Another worker (another thread, another connection) gets neither a new
    // file nor the same one, and truncates nothing.
    bool created = true;
    bool reopened = true;
    std::thread([&] {
        platform::FileSystem& fs = platform::fileSystemFor(file);
        created = fs.createForWriting(file).ok();
        reopened = fs.reopenForWriting(file, 0).ok();
    }).join();
    EXPECT_FALSE(created);
    EXPECT_FALSE(reopened);
    EXPECT_EQ(contentOf(onDisk + "/prog.exe~"), "first writer");
    EXPECT_TRUE(first.value()->close().ok());
}

TEST_F(SmbShareTest, MissingShareAndReadOnlyShareCannotTakeTheFile) {
    holdFile(patternBytes(5000));
    window.load({server->unc("nosuch", "srv"), server->unc("ro")});
    run(new TKopirajStart(context));
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(mark(row), MarkCopyFailed) << row;
        EXPECT_EQ(info(row), "ne mogu da kreiram fajl") << row;
    }
    EXPECT_FALSE(exists(server->shareFolder("ro") + "/prog.exe~"));
}

TEST_F(SmbShareTest, TheJournalTellsWhyEachShareRefusedTheCopy) {
    // Each of these fails the row with the same short text; the journal's
    // record keeps what the server said.
    const std::string credentials = temp.path() + "credentials";
    std::ofstream(credentials) << "username = " << SambaServer::kUser << "\npassword = wrong\n";
    setenv("VELMORA_SMB_CREDENTIALS", credentials.c_str(), 1);
    holdFile(patternBytes(5000));
    window.load({shareFolder(*server, "pub", "journal"), server->unc("pub", "no-folder"),
                 server->unc("ro"), server->unc("nosuch", "srv"), server->unc("priv")});
    run(new TKopirajStart(context));
    ASSERT_EQ(window.reports.size(), 5);
    std::map<int, QJsonObject> records;
    for (const RowReport& report : window.reports)
        records[report.row] = app::rowRecord(report);
    EXPECT_EQ(records[0].value("outcome").toString(), "copied");
    EXPECT_FALSE(records[0].contains("reason"));
    std::set<QString> reasons;
    for (int row = 1; row < 5; ++row) {
        const QJsonObject& record = records[row];
        EXPECT_EQ(record.value("outcome").toString(), "copy-failed") << row;
        EXPECT_EQ(record.value("info").toString(), "ne mogu da kreiram fajl") << row;
        const QString reason = record.value("reason").toString();
        EXPECT_FALSE(reason.isEmpty()) << row;
        reasons.insert(reason);
        std::printf("row %d: %s\n", row, reason.toLocal8Bit().constData());
    }
    EXPECT_EQ(reasons.size(), 4u) << "the reasons do not tell the failures apart";
    ASSERT_EQ(window.summaries.size(), 1);
    EXPECT_EQ(window.summaries[0].failedRows(), 4);
}

TEST_F(SmbShareTest, FullShareFailsTheCopyAndKeepsTheServersProgram) {
    if (!server->hasFullShare())
        GTEST_SKIP() << "no small file system could be mounted for the full share";
    const std::string onDisk = server->shareFolder("full");
    { std::ofstream(onDisk + "/prog.exe") << "running version"; }
    holdFile(patternBytes(3 << 20)); // larger than the share's disk
    window.load({server->unc("full")});
    run(new TKopirajStart(context));
    EXPECT_EQ(mark(0), MarkCopyFailed);
    // A write the server refuses, even one gathered and sent only at close, is
    // a copy error, never a copy.
    EXPECT_EQ(info(0), "greška u kopiranju");
    EXPECT_EQ(contentOf(onDisk + "/prog.exe"), "running version");
}

TEST_F(SmbShareTest, TargetHeldOpenByAnotherClientCannotBeReplaced) {
    const std::string onDisk = server->shareFolder("pub") + "/held";
    const std::string row = shareFolder(*server, "pub", "held");
    { std::ofstream(onDisk + "/prog.exe") << "running version"; }
    // This thread's own SMB connection holds the program open, as a running
    // program on the server would.
    auto holder = platform::fileSystemFor(row).reopenForWriting(row + "\\prog.exe", 0);
    ASSERT_TRUE(holder.ok()) << holder.error().message;
    holdFile(patternBytes(10000));
    window.load({row});
    run(new TKopirajStart(context));
    EXPECT_EQ(mark(0), MarkCopyFailed);
    EXPECT_EQ(info(0), "ne mogu da preimenujem");
    EXPECT_EQ(contentOf(onDisk + "/prog.exe"), "running version");
    EXPECT_TRUE(holder.value()->close().ok());
}

TEST_F(SmbShareTest, ReachabilityOfShareFolderFileAndMissingHost) {
    const std::string folder = shareFolder(*server, "pub", "reach");
    { std::ofstream(server->shareFolder("pub") + "/reach/file.txt") << "x"; }
    // Nothing listens on 127.0.0.2 at the server's port.
    window.load({server->unc("pub"), folder, folder + "\\file.txt", folder + "\\none",
                 "\\\\127.0.0.2\\pub", server->unc("nosuch")});
    run(new TProveraStart(context));
    EXPECT_EQ(mark(0), MarkReachable);
    EXPECT_EQ(mark(1), MarkReachable);
    EXPECT_EQ(mark(2), MarkUnreachable); // a file is not a folder
    EXPECT_EQ(mark(3), MarkUnreachable);
    EXPECT_EQ(mark(4), MarkUnreachable);
    EXPECT_EQ(mark(5), MarkUnreachable);
}

TEST_F(SmbShareTest, PrivateShareNeedsTheRightCredentials) {
    const std::string credentials = temp.path() + "credentials";
    auto logOn = [&](const std::string& password) {
        std::ofstream(credentials)
            << "username = " << SambaServer::kUser << "\npassword = " << password << "\n";
        setenv("VELMORA_SMB_CREDENTIALS", credentials.c_str(), 1);
    };
    window.load({server->unc("priv")});

    run(new TProveraStart(context)); // guest
    EXPECT_EQ(mark(0), MarkUnreachable);
    logOn("wrong");
    run(new TProveraStart(context));
    EXPECT_EQ(mark(0), MarkUnreachable);
    logOn(SambaServer::kPassword);
    run(new TProveraStart(context));
    EXPECT_EQ(mark(0), MarkReachable);

    holdFile(patternBytes(4000));
    run(new TKopirajStart(context));
    EXPECT_EQ(mark(0), MarkCopied) << info(0);
    EXPECT_EQ(contentOf(server->shareFolder("priv") + "/prog.exe"), patternBytes(4000));
}

// A credentials file that others can read is used, with one warning for all
// the helpers that the workers start.
TEST_F(SmbShareTest, CredentialsFileThatOthersCanReadIsWarnedOfOnce) {
    const std::string open = temp.path() + "open-credentials";
    std::ofstream(open) << "username = " << SambaServer::kUser
                        << "\npassword = " << SambaServer::kPassword << "\n";
    ASSERT_EQ(::chmod(open.c_str(), 0644), 0);
    setenv("VELMORA_SMB_CREDENTIALS", open.c_str(), 1);
    window.load({server->unc("priv"), server->unc("priv"), server->unc("priv")});
    testing::internal::CaptureStderr();
    run(new TProveraStart(context));
    run(new TProveraStart(context));
    std::string said = testing::internal::GetCapturedStderr();
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(mark(row), MarkReachable) << row;
    const std::string warning = "the SMB credentials file \"" + open + "\" has permissions 0644";
    const auto first = said.find(warning);
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find(warning, first + 1), std::string::npos) << said;
    EXPECT_EQ(said.find(SambaServer::kPassword), std::string::npos) << said;

    const std::string kept = temp.path() + "kept-credentials";
    std::filesystem::copy_file(open, kept);
    ASSERT_EQ(::chmod(kept.c_str(), 0600), 0);
    setenv("VELMORA_SMB_CREDENTIALS", kept.c_str(), 1);
    testing::internal::CaptureStderr();
    run(new TProveraStart(context));
    said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(mark(0), MarkReachable);
    EXPECT_EQ(said.find("credentials file"), std::string::npos) << said;
}

// A list kept in code page 1250, as on the sites' Windows machines: a folder
// name with "š" reaches the server as that name, and so does a local file name
// with "Č" and "č", which the system keeps in UTF-8.
TEST_F(SmbShareTest, ListInCodePage1250ReachesAFolderWithSerbianLetters) {
    setenv("VELMORA_LIST_CHARSET", "windows-1250", 1);
    const std::string onDisk = server->shareFolder("pub") + "/Niš 1";
    std::filesystem::create_directories(onDisk);
    const std::string list = temp.write(
        "serveri.txt", QByteArray::fromStdString(server->unc("pub", "Ni\x9a 1") + "\r\n"));
    ASSERT_TRUE(serverlist::loadServerFile(window.lista(), list).ok());
    const QByteArray bytes = patternBytes(5000);
    ASSERT_TRUE(window.fileSet().add(temp.write("Čitač.exe", bytes)).ok());

    run(new TKopirajStart(context));
    ASSERT_EQ(mark(0), MarkCopied) << info(0) << window.memo2.join("\n");
    EXPECT_EQ(contentOf(onDisk + "/Čitač.exe"), bytes);
    ASSERT_EQ(window.memo1.filter(QStringLiteral("\\Niš 1\\Čitač.exe - OK ")).size(), 1)
        << window.memo1.join("\n");
    run(new TVerStart(context));
    EXPECT_EQ(mark(0), MarkGoodVersion) << info(0) << window.memo2.join("\n");
}

TEST_F(SmbShareTest, ServerStoppedDuringTheCopyFailsTheRowWithoutHanging) {
    std::string why;
    auto dying = SambaServer::start(&why);
    ASSERT_NE(dying, nullptr) << why;
    useServer(*dying);
    const std::string temporary = dying->shareFolder("pub") + "/prog.exe~";
    holdFile(patternBytes(256 << 20));
    window.load({dying->unc("pub")});
    (new TKopirajStart(context))->Start();
    // Stopped first, so the copy is surely still under way when it dies.
    ASSERT_TRUE(testsupport::processEventsUntil(
        [&] { return exists(temporary) && std::filesystem::file_size(temporary) > 0; }));
    dying->pause();
    ASSERT_TRUE(exists(temporary));
    dying->kill();
    settle();
    EXPECT_EQ(mark(0), MarkCopyFailed);
    EXPECT_EQ(info(0), "greška u kopiranju");
    EXPECT_TRUE(window.memo1.filter(" - OK ").isEmpty());
}

// An abort while writes are under way: nothing reaches the server after the
// worker has ended, and the temporary file holds exactly what was counted.
TEST_F(SmbShareTest, AbortWithWritesUnderWayLeavesWhatWasCounted) {
    const QByteArray bytes = patternBytes(256 << 20);
    holdFile(bytes);
    const std::string row = shareFolder(*server, "pub", "abort-under-way");
    const std::string temporary = server->shareFolder("pub") + "/abort-under-way/prog.exe~";
    window.load({row});
    (new TKopirajStart(context))->Start();
    ASSERT_TRUE(testsupport::processEventsUntil(
        [&] { return exists(temporary) && std::filesystem::file_size(temporary) > (8u << 20); }));
    EXPECT_EQ(abortCopy(context->state(), window.lista(), 0), AbortOutcome::Aborted);
    settle(5000);
    ASSERT_EQ(window.reports.size(), 1);
    EXPECT_TRUE(window.reports[0].aborted);
    const auto atTheEnd = std::filesystem::file_size(temporary);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(std::filesystem::file_size(temporary), atTheEnd) << "bytes landed afterwards";
    EXPECT_EQ(atTheEnd, window.reports[0].bytes);
    EXPECT_TRUE(contentOf(temporary) == bytes.left(static_cast<qsizetype>(atTheEnd)));
}

TEST_F(SmbShareTest, AbortEndsACopyToAHungServerAndTheTimeOutBoundsAReachabilityCheck) {
    std::string why;
    auto hung = SambaServer::start(&why);
    ASSERT_NE(hung, nullptr) << why;
    useServer(*hung);
    hung->pause();
    holdFile(patternBytes(100000));
    window.load({hung->unc("pub")});
    const int helpersBefore = helperProcesses();
    (new TKopirajStart(context))->Start();
    ASSERT_TRUE(testsupport::processEventsUntil([&] { return mark(0) == MarkWorking; }));
    ASSERT_TRUE(
        testsupport::processEventsUntil([&] { return helperProcesses() == helpersBefore + 1; }));
    EXPECT_EQ(abortCopy(context->state(), window.lista(), 0), AbortOutcome::Aborted);
    // Well within the library's 20 s time-out: the abort itself ended the wait.
    settle(5000);
    EXPECT_EQ(mark(0), MarkCopyFailed);
    EXPECT_TRUE(window.memo2.isEmpty()) << window.memo2.join("\n");
    // The worker's helper goes with the worker's thread, just after the count.
    auto helpersBack = [&] { return helperProcesses() == helpersBefore; };
    EXPECT_TRUE(testsupport::processEventsUntil(helpersBack, 5000));

    setenv("VELMORA_SMB_TIMEOUT", "1", 1);
    run(new TProveraStart(context));
    EXPECT_EQ(mark(0), MarkUnreachable);
    EXPECT_TRUE(testsupport::processEventsUntil(helpersBack, 5000));
    hung->resume();
}

// A branch-office link: the copy goes through a proxy that holds every chunk
// 10 ms in each direction, and stays whole and in place with its stamp and the
// backup; a request through the proxy takes the full round trip, both ways.
TEST_F(SmbShareTest, CopyOverALinkWithARoundTripKeepsBytesStampAndBackup) {
    using namespace std::chrono_literals;
    std::string whyNot;
    auto proxy = testsupport::LatencyProxy::start(server->port(), 10ms, &whyNot);
    ASSERT_NE(proxy, nullptr) << whyNot;
    // Straight to the server this takes a millisecond or two; one direction
    // delayed alone would give 10 ms and some.
    EXPECT_GE(negotiateRoundTrip(proxy->port()), 20ms);

    setenv("VELMORA_SMB_PORT", std::to_string(proxy->port()).c_str(), 1);
    const std::string onDisk = server->shareFolder("pub") + "/link";
    const std::string row = shareFolder(*server, "pub", "link");
    std::ofstream(onDisk + "/prog.exe") << "the previous version";
    const QByteArray bytes = patternBytes(300000);
    holdFile(bytes);
    const platform::DosTime held = window.fileSet().heldTime().value();
    window.load({row});
    run(new TKopirajStart(context));
    ASSERT_EQ(mark(0), MarkCopied) << info(0) << window.memo2.join("\n");
    EXPECT_EQ(contentOf(onDisk + "/prog.exe"), bytes);
    EXPECT_EQ(contentOf(onDisk + "/_prog.exe"), "the previous version");
    EXPECT_FALSE(exists(onDisk + "/prog.exe~"));
    auto entry = platform::fileSystemFor(row).findEntry(row + "\\prog.exe");
    ASSERT_TRUE(entry.ok()) << entry.error().message;
    EXPECT_EQ(entry.value().time, held);
    EXPECT_GE(proxy->connections(), 3u) << "the worker's helper and this thread's came through";
    useServer(*server);
}

// A helper process that outlived the program would hold a connection to the
// server and a slot of the user's session for ever.
TEST_F(SmbShareTest, ClosingTheProgramLeavesNoHelperBehind) {
    server->pause();
    const std::string command =
        std::string(VELMORA_SMB_EXIT_PROBE) + " '" + server->unc("pub", "prog.exe") + "'";
    FILE* probe = popen(command.c_str(), "r");
    ASSERT_NE(probe, nullptr);
    std::vector<long> helpers;
    long pid = 0;
    while (std::fscanf(probe, "%ld", &pid) == 1)
        helpers.push_back(pid);
    EXPECT_EQ(pclose(probe), 0);
    ASSERT_EQ(helpers.size(), 2u) << "one idle helper and one waiting on the hung server";
    auto gone = [&] {
        for (long helper : helpers) {
            std::ifstream stat("/proc/" + std::to_string(helper) + "/stat");
            std::string ignored, state;
            if (stat >> ignored >> ignored >> state && state != "Z")
                return false;
        }
        return true;
    };
    EXPECT_TRUE(testsupport::processEventsUntil(gone, 5000));
    server->resume();
}

} // namespace
} // namespace velmora::batch
