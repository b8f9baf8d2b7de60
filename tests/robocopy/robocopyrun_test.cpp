#include "robocopy/robocopyrun.h"

#include "platform/filesystem.h"
#include "platform/programfile.h"
#include "platform/resources.h"

#include "support/childprocesses.h"
#include "support/filecontent.h"
#include "support/scratchfolder.h"
#include "support/standinterminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <thread>

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
}

TEST_F(RobocopyRunTest, ATerminalThatStartsTheToolAfterReturningStillFindsIt) {
    StandInTerminal lateTerminal(StandInTerminal::Mode::RecordAndRunLater);
    ASSERT_TRUE(runEmbeddedTool(run(), tempPath(), nullptr).ok());
    EXPECT_TRUE(becomes(serverFile("prog.exe"), "the new version"));
    EXPECT_EQ(readFile(serverFile("_prog.exe")), "the old version");
}

} // namespace
} // namespace velmora::robocopy
