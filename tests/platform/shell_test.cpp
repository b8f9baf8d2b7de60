#include "platform/commandline.h"
#include "platform/filesystem.h"
#include "platform/programfile.h"
#include "platform/shell.h"

#include "support/childprocesses.h"
#include "support/scratchfolder.h"
#include "support/standinterminal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <unistd.h>

namespace velmora::platform {
namespace {

using testsupport::StandInTerminal;
using Args = std::vector<std::string>;

TEST(SplitParametersTest, QuotedPiecesKeepTheirBackslashes) {
    EXPECT_EQ(splitParameters(R"("C:\" "\\server1\c$\App" "prog.exe" /Z )"),
              (Args{R"(C:\)", R"(\\server1\c$\App)", "prog.exe", "/Z"}));
    EXPECT_EQ(splitParameters(R"("a b"c  "" d)"), (Args{"a bc", "", "d"}));
    EXPECT_EQ(splitParameters("  "), Args{});
}

TEST(ShellConsoleTest, ConsoleProgramGoesToTheTerminalAsWords) {
    StandInTerminal terminal;
    ASSERT_TRUE(
        shellStartConsoleProgram("velmora-tool", R"("C:\" "\\h\s\" "p.exe" /Z )", nullptr).ok());
    const auto runs = terminal.invocations(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (Args{"-e", "velmora-tool", R"(C:\)", R"(\\h\s\)", "p.exe", "/Z"}));
}

TEST(ShellConsoleTest, PingNeverTakesTheHostForAnOption) {
    StandInTerminal terminal;
    ASSERT_TRUE(shellStartPing("server", false, nullptr).ok());
    ASSERT_TRUE(shellStartPing("10.1.2.3", true, nullptr).ok());
    ASSERT_TRUE(shellStartPing("-c1", false, nullptr).ok());
    ASSERT_TRUE(shellStartPing("", false, nullptr).ok());
    ASSERT_TRUE(shellStartPing("", true, nullptr).ok());
    auto runs = terminal.invocations(5);
    std::sort(runs.begin(), runs.end());
    EXPECT_EQ(runs, (std::vector<Args>{{"-e", "ping"},
                                       {"-e", "ping", "--", "10.1.2.3"},
                                       {"-e", "ping", "-c", "4"},
                                       {"-e", "ping", "-c", "4", "--", "-c1"},
                                       {"-e", "ping", "-c", "4", "--", "server"}}));
    // What Windows' ping is given.
    EXPECT_EQ(pingParameters("server", true), "server -t");
    EXPECT_EQ(pingParameters("", true), " -t");
    EXPECT_EQ(pingParameters("server", false), "server");
}

TEST(ShellConsoleTest, ATerminalThatCanKeepItsWindowIsAskedTo) {
    {
        StandInTerminal xterm(StandInTerminal::Mode::RecordOnly, "xterm");
        ASSERT_TRUE(shellStartPing("server", false, nullptr).ok());
        const auto runs = xterm.invocations(1);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(runs[0], (Args{"-hold", "-e", "ping", "-c", "4", "--", "server"}));
    }
    // x-terminal-emulator is known by the terminal its link leads to.
    const char* path = std::getenv("PATH");
    const std::string savedPath = path ? path : "";
    testsupport::ScratchFolder bin;
    StandInTerminal xterm(StandInTerminal::Mode::RecordOnly, "xterm");
    ASSERT_EQ(::symlink(xterm.script().c_str(), (bin.path() + "/x-terminal-emulator").c_str()), 0);
    ::unsetenv("TERMINAL");
    ::setenv("PATH", (bin.path() + ":" + savedPath).c_str(), 1);
    const Status started = shellStartConsoleProgram("velmora-tool", "a b", nullptr);
    ::setenv("PATH", savedPath.c_str(), 1);
    ASSERT_TRUE(started.ok());
    const auto runs = xterm.invocations(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (Args{"-hold", "-e", "velmora-tool", "a", "b"}));
}

TEST(ShellConsoleTest, WithoutAnyTerminalNothingStarts) {
    const char* path = std::getenv("PATH");
    const std::string savedPath = path ? path : "";
    testsupport::ScratchFolder empty;
    {
        StandInTerminal terminal; // only to restore $TERMINAL afterwards
        ::unsetenv("TERMINAL");
        ::setenv("PATH", empty.path().c_str(), 1);
        EXPECT_EQ(terminalProgram(), "");
        const Status status = shellStartPing("server", false, nullptr);
        ::setenv("PATH", savedPath.c_str(), 1);
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.error().code, ENOENT);
    }
}

TEST(ShellConsoleTest, AProgramFileStaysWhileItRuns) {
    testsupport::ScratchFolder folder;
    const std::string tool = folder.path() + "/tool";
    std::ifstream sleepBinary("/bin/sleep", std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(sleepBinary), {}};
    ASSERT_FALSE(bytes.empty());
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    ASSERT_TRUE(writeProgramFile(tool, data, bytes.size()).ok());

    StandInTerminal terminal(StandInTerminal::Mode::RecordAndRun);
    ASSERT_TRUE(shellStartConsoleProgram(tool, "30", nullptr).ok());
    // The call returns once the program runs from its file.
    ASSERT_TRUE(isRunningProgramFile(tool));
    const Status rewritten = writeProgramFile(tool, data, 16);
    ASSERT_FALSE(rewritten.ok());
    EXPECT_EQ(rewritten.error().code, ETXTBSY);
    EXPECT_FALSE(localFileSystem().deleteFile(tool).ok());
    EXPECT_EQ(std::filesystem::file_size(tool), bytes.size());

    for (const pid_t running : testsupport::processesRunningFrom(tool))
        ::kill(running, SIGKILL);
    for (int i = 0; i < 250 && isRunningProgramFile(tool); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(localFileSystem().deleteFile(tool).ok());
    EXPECT_FALSE(std::filesystem::exists(tool));
}

} // namespace
} // namespace velmora::platform
