#include "robocopy/robocopyrun.h"

#include "platform/filesystem.h"
#include "platform/programfile.h"
#include "platform/resources.h"

#include "support/childprocesses.h"
#include "support/filecontent.h"
#include "support/scratchfolder.h"
#include "support/standinterminal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace velmora::robocopy {
namespace {

using testsupport::StandInTerminal;
using Args = std::vector<std::string>;
namespace fs = std::filesystem;

TEST(RobocopyArgumentsTest, PiecesAsWritten) {
    EXPECT_EQ(robocopyArguments({R"(\\server1\c$\App)", R"(C:\Verzije\prog.exe)"}),
              R"("C:\Verzije" "\\server1\c$\App" "prog.exe" /Z )");
    // A file in a drive's root keeps the root's "\"; a server path's trailing
    // "\" stays as written.
    EXPECT_EQ(robocopyArguments({R"(\\server1\c$\App\)", R"(C:\prog.exe)"}),
              R"("C:\" "\\server1\c$\App\" "prog.exe" /Z )");
    EXPECT_EQ(robocopyArguments({"/srv/b1", "/home/u/Verzije/prog.exe"}),
              R"("/home/u/Verzije" "/srv/b1" "prog.exe" /Z )");
    EXPECT_EQ(robocopyArguments({"/srv/b1", "/prog.exe"}), R"("/" "/srv/b1" "prog.exe" /Z )");
}

using testsupport::readFile;
using testsupport::writeFile;

// Waits (10 s at most) until the file holds the content.
bool becomes(const std::string& file, const std::string& content) {
    for (int i = 0; i < 500; ++i) {
        if (readFile(file) == content)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void stopToolsRunning(const std::string& file) {
    for (const pid_t tool : testsupport::processesRunningFrom(file))
        ::kill(tool, SIGKILL);
    for (int i = 0; i < 500 && platform::isRunningProgramFile(file); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// A source folder with the file to send, a server folder that holds the
// previous copy, and a temp folder; the terminal runs what it is given.
class RobocopyRunTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root_.path().empty());
        for (const char* folder : {"/src", "/server", "/temp", "/program"})
            fs::create_directory(root_.path() + folder);
        writeFile(source(), "the new version");
        writeFile(serverFile("prog.exe"), "the old version");
    }
    void TearDown() override { stopToolsRunning(tempPath()); }

    std::string source() const { return root_.path() + "/src/prog.exe"; }
    std::string server() const { return root_.path() + "/server"; }
    std::string serverFile(const std::string& name) const { return server() + "/" + name; }
    std::string tempPath() const { return root_.path() + "/temp/Robocopy_FROM_RES.EXE"; }
    ToolRun run() const { return {server(), source()}; }

    testsupport::ScratchFolder root_;
    StandInTerminal terminal_{StandInTerminal::Mode::RecordAndRun};
};

TEST_F(RobocopyRunTest, EmbeddedToolCopiesAfterTheBackup) {
    const auto first = runEmbeddedTool(run(), tempPath(), nullptr);
    ASSERT_TRUE(first.ok()) << first.error().message;
    EXPECT_EQ(first.value(), StartOutcome::Started);
    EXPECT_TRUE(becomes(serverFile("prog.exe"), "the new version"));
    EXPECT_EQ(readFile(serverFile("_prog.exe")), "the old version");
    const auto runs = terminal_.invocations(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (Args{"-e", tempPath(), root_.path() + "/src", server(), "prog.exe", "/Z"}));

    // The same server again: the backup of the run before is replaced.
    stopToolsRunning(tempPath());
    writeFile(source(), "a third version");
    ASSERT_TRUE(runEmbeddedTool(run(), tempPath(), nullptr).ok());
    EXPECT_TRUE(becomes(serverFile("prog.exe"), "a third version"));
    EXPECT_EQ(readFile(serverFile("_prog.exe")), "the new version");
}

TEST_F(RobocopyRunTest, ASecondRunWhileTheToolRunsChangesNothing) {
    // A named pipe where the tool puts its partial file holds the tool in the
    // open of that file (a pipe as the source is refused at once).
    const auto entry = platform::localFileSystem().findEntry(source());
    ASSERT_TRUE(entry.ok());
    char time[9];
    std::snprintf(time, sizeof time, "%08X", static_cast<unsigned>(entry.value().time));
    const std::string partial = serverFile("prog.exe~15-" + std::string(time) + ".partial");
    ASSERT_EQ(::mkfifo(partial.c_str(), 0600), 0);
    ASSERT_TRUE(runEmbeddedTool(run(), tempPath(), nullptr).ok());
    ASSERT_TRUE(platform::isRunningProgramFile(tempPath()));

    // What lies at the temp path is the program's own resource, byte for byte.
    const auto resource = platform::findModuleResource(kToolResourceType, kToolResourceName);
    ASSERT_TRUE(resource.ok());
    EXPECT_EQ(
        readFile(tempPath()),
        std::string(reinterpret_cast<const char*>(resource.value().data), resource.value().size));

    const auto second = runEmbeddedTool(run(), tempPath(), nullptr);
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error().message, "Cannot create file \"" + tempPath() + "\". Text file busy");
    EXPECT_EQ(readFile(serverFile("_prog.exe")), "the old version");
    EXPECT_FALSE(fs::exists(serverFile("prog.exe")));
    EXPECT_EQ(terminal_.readAll().size(), 1u);
}

TEST_F(RobocopyRunTest, ExternalToolComesFromTheProgramFolderOnly) {
    const std::string programFolder = root_.path() + "/program/";
    EXPECT_EQ(runExternalTool(run(), programFolder, nullptr).value(), StartOutcome::ToolMissing);
    EXPECT_EQ(readFile(serverFile("prog.exe")), "the old version");
    EXPECT_FALSE(fs::exists(serverFile("_prog.exe")));

    const auto resource = platform::findModuleResource(kToolResourceType, kToolResourceName);
    ASSERT_TRUE(resource.ok());
    const std::string tool = programFolder + kExternalToolName;
    ASSERT_TRUE(
        platform::writeProgramFile(tool, resource.value().data, resource.value().size).ok());
    EXPECT_EQ(runExternalTool(run(), programFolder, nullptr).value(), StartOutcome::Started);
    EXPECT_TRUE(becomes(serverFile("prog.exe"), "the new version"));
    EXPECT_EQ(readFile(serverFile("_prog.exe")), "the old version");
    const auto runs = terminal_.invocations(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].at(1), tool);
    EXPECT_TRUE(fs::exists(tool));
}

TEST_F(RobocopyRunTest, AToolThatCannotBeStartedIsReportedAndThePreviousCopyGoesBack) {
    ::setenv("TERMINAL", "velmora-no-such-terminal", 1);
    const auto embedded = runEmbeddedTool(run(), tempPath(), nullptr);
    ASSERT_FALSE(embedded.ok());
    EXPECT_EQ(embedded.error().message.rfind("Cannot start \"" + tempPath() + "\". ", 0), 0u)
        << embedded.error().message;
    EXPECT_EQ(readFile(serverFile("prog.exe")), "the old version");
    EXPECT_FALSE(fs::exists(serverFile("_prog.exe")));
    // Nothing runs from the temp file, so it is gone again.
    EXPECT_FALSE(fs::exists(tempPath()));

    // A terminal that ends without running the tool: not seen starting.
    StandInTerminal idle(StandInTerminal::Mode::RecordOnly);
    const auto notRun = runEmbeddedTool(run(), tempPath(), nullptr);
    ASSERT_FALSE(notRun.ok());
    EXPECT_EQ(notRun.error().message,
              "Cannot start \"" + tempPath() + "\". The terminal ended without starting it.");
    EXPECT_EQ(idle.readAll().size(), 1u);
    EXPECT_EQ(readFile(serverFile("prog.exe")), "the old version");
    EXPECT_FALSE(fs::exists(serverFile("_prog.exe")));
    EXPECT_FALSE(fs::exists(tempPath()));
}

// The temp folder on a file system mounted noexec: the tool was written, but
// nothing can run it.
TEST_F(RobocopyRunTest, AToolThatCannotExecuteIsNotAStart) {
    const std::string temp = root_.path() + "/temp";
    if (::mount("tmpfs", temp.c_str(), "tmpfs", MS_NOEXEC | MS_NOSUID, "size=64m") != 0)
        GTEST_SKIP() << "a noexec tmpfs cannot be mounted here: " << std::strerror(errno);
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{temp};

    const auto outcome = runEmbeddedTool(run(), tempPath(), nullptr);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error().message, "Cannot start \"" + tempPath() + "\". Permission denied");
    EXPECT_EQ(readFile(serverFile("prog.exe")), "the old version");
    EXPECT_FALSE(fs::exists(serverFile("_prog.exe")));
    EXPECT_FALSE(fs::exists(tempPath()));
}

TEST_F(RobocopyRunTest, ARunTheToolCannotBeGivenIsRefusedBeforeAnythingMoves) {
    // A double quote ends the quoted piece early: this row would reach the
    // tool as two arguments.
    const std::string quoted = server() + "/q\"x";
    fs::create_directory(quoted);
    writeFile(quoted + "/prog.exe", "the old version");
    const std::string quotedSource = root_.path() + "/src/a\"b/prog.exe";
    fs::create_directory(root_.path() + "/src/a\"b");
    writeFile(quotedSource, "the new version");
    // An empty row names no server: joined with the name it is the disk's root.
    const std::string name = "velmora-robocopy-" + std::to_string(::getpid()) + ".exe";
    struct RootFile {
        std::string path;
        ~RootFile() {
            fs::remove(path);
            fs::remove("/_" + path.substr(1));
        }
    } rootFile{"/" + name};
    const bool rootWritable = ::access("/", W_OK) == 0;
    if (rootWritable)
        writeFile(rootFile.path, "a file of the disk's root");
    writeFile(root_.path() + "/src/" + name, "the new version");

    struct Refused {
        ToolRun run;
        std::string message;
    };
    const std::vector<Refused> refused = {
        {{quoted, source()}, "Nije dobar server!"},
        {{"", root_.path() + "/src/" + name}, "Nije dobar server!"},
        {{server(), quotedSource},
         "\"" + quotedSource + "\" holds a double quote, which the tool cannot be given."}};
    for (const Refused& r : refused) {
        const auto embedded = runEmbeddedTool(r.run, tempPath(), nullptr);
        ASSERT_FALSE(embedded.ok());
        EXPECT_EQ(embedded.error().message, r.message);
        const auto external = runExternalTool(r.run, root_.path() + "/program/", nullptr);
        ASSERT_FALSE(external.ok());
        EXPECT_EQ(external.error().message, r.message);
    }
    EXPECT_EQ(readFile(quoted + "/prog.exe"), "the old version");
    EXPECT_FALSE(fs::exists(quoted + "/_prog.exe"));
    EXPECT_EQ(readFile(serverFile("prog.exe")), "the old version");
    EXPECT_FALSE(fs::exists(serverFile("_prog.exe")));
    if (rootWritable) {
        EXPECT_EQ(readFile(rootFile.path), "a file of the disk's root");
        EXPECT_FALSE(fs::exists("/_" + name));
    }
    EXPECT_FALSE(fs::exists(tempPath()));
    EXPECT_TRUE(terminal_.readAll().empty());
}

// In a shared temp folder another user may have put a link where the tool is
// written: the program must neither write through it nor change the file it
// names.
TEST_F(RobocopyRunTest, ALinkAtTheToolPathIsReplacedNotFollowed) {
    const std::string victim = root_.path() + "/victim";
    writeFile(victim, "a file of the user's own");
    ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    fs::create_symlink(victim, tempPath());

    const auto outcome = runEmbeddedTool(run(), tempPath(), nullptr);
    ASSERT_TRUE(outcome.ok()) << outcome.error().message;
    EXPECT_EQ(readFile(victim), "a file of the user's own");
    EXPECT_EQ(fs::status(victim).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(fs::is_symlink(tempPath()));
    const auto resource = platform::findModuleResource(kToolResourceType, kToolResourceName);
    ASSERT_TRUE(resource.ok());
    EXPECT_EQ(
        readFile(tempPath()),
        std::string(reinterpret_cast<const char*>(resource.value().data), resource.value().size));
    EXPECT_TRUE(becomes(serverFile("prog.exe"), "the new version"));
    // The private folder the tool was written in is gone again.
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(root_.path() + "/temp"))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"Robocopy_FROM_RES.EXE"});
}

TEST_F(RobocopyRunTest, ATerminalThatStartsTheToolAfterReturningStillFindsIt) {
    StandInTerminal lateTerminal(StandInTerminal::Mode::RecordAndRunLater);
    ASSERT_TRUE(runEmbeddedTool(run(), tempPath(), nullptr).ok());
    EXPECT_TRUE(becomes(serverFile("prog.exe"), "the new version"));
    EXPECT_EQ(readFile(serverFile("_prog.exe")), "the old version");
}

} // namespace
} // namespace velmora::robocopy
