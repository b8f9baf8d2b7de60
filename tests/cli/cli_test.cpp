// velmora-cli as a process: copies, checks and reachability on local folders
// and on \\127.0.0.1 shares of a private Samba server, its reports and exit
// status, Ctrl-C in the middle of a batch, and bad usage.
#include "support/childprocesses.h"
#include "support/filecontent.h"
#include "support/programrun.h"
#include "support/qtprinting.h"
#include "support/sambaserver.h"
#include "support/scratchfolder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

namespace velmora::cli {
namespace {

using testsupport::readFile;
using testsupport::SambaServer;
using testsupport::writeFile;
namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Bytes that differ from one block to the next, so that a misplaced block shows.
std::string patternContent(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 2048) & 0xff);
    return bytes;
}

// The velmora-smb helpers of the process.
std::vector<long> helpersOf(pid_t parent) {
    return testsupport::smbHelpersOf(parent);
}

bool goneOrZombie(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string ignored, state;
    return !(stat >> ignored >> ignored >> state) || state == "Z";
}

template <typename Condition> bool waitUntil(Condition done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

QJsonObject readJson(const std::string& path) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(readFile(path))).object();
}

QJsonObject rowOf(const QJsonObject& report, int row) {
    for (const QJsonValue& value : report.value("rows").toArray())
        if (value.toObject().value("row").toInt() == row)
            return value.toObject();
    return {};
}

// row number -> outcome, from either form of report.
std::map<int, QString> outcomesInJson(const QJsonObject& report) {
    std::map<int, QString> outcomes;
    for (const QJsonValue& value : report.value("rows").toArray())
        outcomes[value.toObject().value("row").toInt()] =
            value.toObject().value("outcome").toString();
    return outcomes;
}

std::map<int, QString> outcomesInCsv(const std::string& path) {
    std::map<int, QString> outcomes;
    // Each line begins: row,"text","outcome" (the text may hold "" for a quote).
    static const QRegularExpression line(QStringLiteral("^(\\d+),\"(?:[^\"]|\"\")*\",\"(\\w+)\""),
                                         QRegularExpression::MultilineOption);
    auto matches = line.globalMatch(QString::fromStdString(readFile(path)));
    while (matches.hasNext()) {
        const auto match = matches.next();
        outcomes[match.captured(1).toInt()] = match.captured(2);
    }
    return outcomes;
}

int countLinesStartingWith(const std::string& text, const std::string& start) {
    int count = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (text.compare(at, start.size(), start) == 0)
            ++count;
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return count;
}

class CliTest : public testing::Test {
protected:
    static void SetUpTestSuite() { server = SambaServer::start(&whyNoServer).release(); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    void SetUp() override {
        ASSERT_FALSE(temp.path().empty());
        // The user's own credentials file must not decide a test.
        setenv("VELMORA_SMB_CREDENTIALS", file("none").c_str(), 1);
        unsetenv("VELMORA_SMB_TIMEOUT");
        unsetenv("VELMORA_SMB_HELPER");
        if (server)
            setenv("VELMORA_SMB_PORT", std::to_string(server->port()).c_str(), 1);
    }
    void needSamba() {
        if (!server && geteuid() != 0)
            GTEST_SKIP() << "Samba needs root here: " << whyNoServer;
        ASSERT_NE(server, nullptr) << whyNoServer;
    }

    std::string file(const std::string& name) const { return temp.path() + "/" + name; }
    std::string folder(const std::string& name) const {
        fs::create_directories(file(name));
        return file(name);
    }
    // The list in serveri.txt's form: lines ending in CR LF.
    std::string writeList(const std::vector<std::string>& rows) const {
        std::string content;
        for (const std::string& row : rows)
            content += row + "\r\n";
        writeFile(file("serveri.txt"), content);
        return file("serveri.txt");
    }
    std::string shareFolder(const SambaServer& s, const std::string& name) const {
        fs::create_directories(s.shareFolder("pub") + "/" + name);
        return s.unc("pub", name);
    }

    // Started in a process group of its own, as a shell starts a command, so
    // that a Ctrl-C can be sent to it the way a terminal sends it: to the
    // program and to every process it has started.
    pid_t spawn(const std::vector<std::string>& args) {
        const int out =
            open(file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int err =
            open(file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::vector<char*> argv{const_cast<char*>(VELMORA_CLI_PATH)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = -1;
        if (posix_spawn(&pid, VELMORA_CLI_PATH, &actions, &attributes, argv.data(), environ) != 0)
            pid = -1;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        close(out);
        close(err);
        return pid;
    }
    CliRun finish(pid_t pid) {
        CliRun run;
        run.exitCode = pid > 0 ? testsupport::waitForExit(pid) : -1;
        run.out = readFile(file("stdout"));
        run.err = readFile(file("stderr"));
        return run;
    }
    CliRun cli(const std::vector<std::string>& args) { return finish(spawn(args)); }

    static inline SambaServer* server = nullptr;
    static inline std::string whyNoServer;
    testsupport::ScratchFolder temp{"velmora-cli"};
};

TEST_F(CliTest, CopyReportsEveryRowThenReRunsOnlyTheFailedAndChecksTheCopies) {
    needSamba();
    if (IsSkipped())
        return;
    const std::string content = patternContent(300000); // several reopens, not a block multiple
    writeFile(file("prog.exe"), content);
    const std::string keeps = folder("srv02/app");
    writeFile(keeps + "/prog.exe", "old version\n");
    // A name with a quote, a comma, a Serbian letter and a "%1" goes through
    // both report forms and back as written.
    const std::string missingLocal = file("srv03 \"Niš\", 100%1/app");
    const std::string missingShare = server->unc("pub", "cli-missing");
    const std::vector<std::string> rows = {folder("srv01/app"), keeps, missingLocal,
                                           shareFolder(*server, "cli-one"), missingShare};
    const std::string list = writeList(rows);

    CliRun run = cli({"copy", "--servers", list, "--file", file("prog.exe"), "--limit", "2",
                      "--report", file("first.json"), "--report", file("first.csv")});
    ASSERT_EQ(run.exitCode, 1) << run.out << run.err;
    // Not a terminal: one line per row and the summary, no progress.
    for (int row = 1; row <= 5; ++row)
        EXPECT_EQ(countLinesStartingWith(run.out, "row " + std::to_string(row) + " "), 1)
            << run.out;
    EXPECT_EQ(countLinesStartingWith(run.out, "Summary: 5 rows: 3 MarkCopied, 2 MarkCopyFailed"), 1)
        << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    std::string lines = run.out;
    for (std::size_t at; (at = lines.find("100%1")) != std::string::npos;)
        lines.erase(at, 5);
    EXPECT_EQ(lines.find('%'), std::string::npos) << "no progress figures: " << run.out;

    const QJsonObject report = readJson(file("first.json"));
    const std::map<int, QString> expected = {{1, "MarkCopied"},
                                             {2, "MarkCopied"},
                                             {3, "MarkCopyFailed"},
                                             {4, "MarkCopied"},
                                             {5, "MarkCopyFailed"}};
    EXPECT_EQ(outcomesInJson(report), expected);
    EXPECT_EQ(outcomesInCsv(file("first.csv")), expected) << readFile(file("first.csv"));
    const QJsonObject copied = rowOf(report, 1);
    EXPECT_EQ(copied.value("text").toString(), QString::fromStdString(rows[0]));
    EXPECT_EQ(copied.value("percent").toString(), "100%");
    EXPECT_TRUE(copied.value("info").toString().startsWith("OK ("))
        << copied.value("info").toString();
    EXPECT_TRUE(copied.value("log").toString().contains("/prog.exe - OK "));
    EXPECT_EQ(copied.value("bytes").toDouble(), 300000);
    EXPECT_TRUE(copied.value("reason").isNull());
    EXPECT_LE(QDateTime::fromString(copied.value("started").toString(), Qt::ISODateWithMs),
              QDateTime::fromString(copied.value("ended").toString(), Qt::ISODateWithMs));
    const QJsonObject failed = rowOf(report, 3);
    EXPECT_EQ(failed.value("text").toString(), QString::fromStdString(missingLocal));
    EXPECT_EQ(failed.value("info").toString(), "ne mogu da kreiram fajl");
    EXPECT_TRUE(failed.value("log").toString().contains(" - ne mogu da kreiram fajl "));
    EXPECT_FALSE(failed.value("reason").toString().isEmpty()) << "the system's reason";
    EXPECT_EQ(rowOf(report, 5).value("info").toString(), "ne mogu da kreiram fajl");
    EXPECT_EQ(report.value("summary").toObject().value("failed").toInt(), 2);

    EXPECT_EQ(readFile(rows[0] + "/prog.exe"), content);
    EXPECT_EQ(readFile(keeps + "/prog.exe"), content);
    EXPECT_EQ(readFile(keeps + "/_prog.exe"), "old version\n");
    EXPECT_EQ(readFile(server->shareFolder("pub") + "/cli-one/prog.exe"), content);
    EXPECT_FALSE(fs::exists(server->shareFolder("pub") + "/cli-one/prog.exe~"));

    // Once the two missing folders are there, --only-failed copies to exactly
    // those two: the first row, changed meanwhile, is not written again.
    fs::create_directories(missingLocal);
    fs::create_directories(server->shareFolder("pub") + "/cli-missing");
    writeFile(rows[0] + "/prog.exe", "changed by hand\n");
    run = cli({"copy", "--servers", list, "--file", file("prog.exe"), "--only-failed",
               file("first.json"), "--report", file("second.json")});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(outcomesInJson(readJson(file("second.json"))),
              (std::map<int, QString>{{3, "MarkCopied"}, {5, "MarkCopied"}}));
    EXPECT_EQ(readFile(missingLocal + "/prog.exe"), content);
    EXPECT_EQ(readFile(server->shareFolder("pub") + "/cli-missing/prog.exe"), content);
    EXPECT_EQ(readFile(rows[0] + "/prog.exe"), "changed by hand\n");

    // The CSV report picks the same rows, for any command.
    run = cli({"reach", "--servers", list, "--only-failed", file("first.csv"), "--report",
               file("reach.json")});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(outcomesInJson(readJson(file("reach.json"))),
              (std::map<int, QString>{{3, "MarkReachable"}, {5, "MarkReachable"}}));

    // The copies carry the file's stamp: the version check finds them identical,
    // all but the one changed by hand.
    run = cli({"check", "--servers", list, "--file", file("prog.exe"), "--rows", "1-2,4",
               "--report", file("check.json")});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(outcomesInJson(readJson(file("check.json"))),
              (std::map<int, QString>{
                  {1, "MarkBadVersion"}, {2, "MarkGoodVersion"}, {4, "MarkGoodVersion"}}));
}

// Rows 1 and 2 are local and end at once; the others wait on a server that
// has stopped answering, so the live workers stay where the limit holds them.
TEST_F(CliTest, InterruptAbortsTheRunningCopiesUnderTheLimitAndEndsWith3) {
    needSamba();
    if (IsSkipped())
        return;
    std::string why;
    auto hung = SambaServer::start(&why);
    ASSERT_NE(hung, nullptr) << why;
    setenv("VELMORA_SMB_PORT", std::to_string(hung->port()).c_str(), 1);
    const std::string content = patternContent(100000);
    writeFile(file("prog.exe"), content);
    std::vector<std::string> rows = {folder("srv01/app"), folder("srv02/app")};
    for (int i = 3; i <= 10; ++i)
        rows.push_back(shareFolder(*hung, "srv" + std::to_string(i)));
    const std::string list = writeList(rows);
    hung->pause();

    const pid_t pid = spawn({"copy", "--servers", list, "--file", file("prog.exe"), "--limit", "3",
                             "--report", file("stopped.json")});
    ASSERT_GT(pid, 0);
    // One helper per copy worker on the share; the count must reach the limit
    // and stay there.
    std::set<long> helpers;
    std::size_t most = 0;
    const auto count = [&] {
        const std::vector<long> now = helpersOf(pid);
        helpers.insert(now.begin(), now.end());
        most = std::max(most, now.size());
        return now.size();
    };
    EXPECT_TRUE(waitUntil([&] { return count() == 3; }, std::chrono::seconds(10)));
    const auto held = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (std::chrono::steady_clock::now() < held) {
        count();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(most, 3u) << "live copy workers beyond the limit of 3";

    const auto interrupted = std::chrono::steady_clock::now();
    // Ctrl-C: the whole process group, the helpers too.
    kill(-pid, SIGINT);
    std::thread watchdog([&] {
        // A run that does not end by itself is ended, so that the test reports it.
        if (!waitUntil([&] { return kill(pid, 0) != 0 || goneOrZombie(pid); },
                       std::chrono::seconds(20)))
            kill(pid, SIGKILL);
    });
    const CliRun run = finish(pid);
    watchdog.join();
    hung->resume();
    ASSERT_EQ(run.exitCode, 3) << run.out << run.err;
    // Well within the server library's 20 s time-out: the abort ended the waits.
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(5));
    EXPECT_NE(run.err.find("Interrupted"), std::string::npos) << run.err;
    EXPECT_EQ(countLinesStartingWith(run.out, "Interrupted. Summary: 10 rows"), 1) << run.out;

    const QJsonObject report = readJson(file("stopped.json"));
    EXPECT_TRUE(report.value("interrupted").toBool());
    int aborted = 0;
    for (int row = 1; row <= 10; ++row) {
        const QJsonObject record = rowOf(report, row);
        const QString outcome = record.value("outcome").toString();
        if (row <= 2) {
            EXPECT_EQ(outcome, "MarkCopied") << row;
            EXPECT_EQ(readFile(rows[row - 1] + "/prog.exe"), content) << row;
            continue;
        }
        // No row on the stopped server is reported copied, and none was.
        EXPECT_NE(outcome, "MarkCopied") << row;
        EXPECT_FALSE(
            fs::exists(hung->shareFolder("pub") + "/srv" + std::to_string(row) + "/prog.exe"))
            << row;
        if (record.value("aborted").toBool()) {
            ++aborted;
            EXPECT_EQ(outcome, "MarkCopyFailed") << row;
        } else {
            EXPECT_EQ(outcome, "MarkUnknown") << row;
            EXPECT_TRUE(record.value("started").isNull()) << row;
        }
    }
    EXPECT_EQ(aborted, 3);
    ASSERT_EQ(helpers.size(), 3u);
    for (long helper : helpers)
        EXPECT_TRUE(waitUntil([&] { return goneOrZombie(helper); }, std::chrono::seconds(5)))
            << "helper " << helper << " left behind";
}

TEST_F(CliTest, BadUsageEndsWith2AndSaysWhyBeforeAnyCopy) {
    writeFile(file("prog.exe"), "program\n");
    const std::string target = folder("srv01/app");
    const std::string list = writeList({target});
    writeFile(file("empty.txt"), "");
    writeFile(file("garbage.json"), "{ not json");
    const std::string prog = file("prog.exe");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"deploy", "--servers", list},
        {"copy", "--servers", list},
        {"copy", "--file", prog},
        {"copy", "--servers", list, "--file", prog, "--limit", "1"},
        {"copy", "--servers", list, "--file", prog, "--limit", "201"},
        {"copy", "--servers", list, "--file", prog, "--limit", "ten"},
        {"copy", "--servers", list, "--file", prog, "--rows", "0"},
        {"copy", "--servers", list, "--file", prog, "--rows", "3-2"},
        {"copy", "--servers", list, "--file", prog, "--rows", "2"},
        {"copy", "--servers", list, "--file", prog, "--bogus"},
        {"copy", "--servers", list, "--file", prog, "--report", file("report.txt")},
        {"copy", "--servers", list, "--file", prog, "--report", file("none/report.json")},
        {"copy", "--servers", list, "--file", prog, "--only-failed", file("garbage.json")},
        {"copy", "--servers", list, "--file", prog, "--only-failed", file("absent.json")},
        {"copy", "--servers", list, "--file", file("absent.exe")},
        {"copy", "--servers", file("absent.txt"), "--file", prog},
        {"copy", "--servers", file("empty.txt"), "--file", prog},
        {"reach", "--servers", list, "--file", prog},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string shown;
        for (const std::string& arg : args)
            shown += arg + " ";
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << shown << run.out << run.err;
        EXPECT_EQ(run.err.rfind("velmora-cli: ", 0), 0u) << shown << run.err;
        EXPECT_TRUE(run.out.empty()) << shown << run.out;
    }
    EXPECT_FALSE(fs::exists(target + "/prog.exe"));
    EXPECT_FALSE(fs::exists(target + "/prog.exe~"));

    CliRun run = cli({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("Usage: velmora-cli", 0), 0u) << run.out;
    run = cli({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("velmora-cli ", 0), 0u) << run.out;
}

} // namespace
} // namespace velmora::cli
