// The program's place on Windows: its folder, the user's temporary folder,
// its own resources, and the programs it starts through the shell and
// CreateProcess, recorded by a stand-in program (velmora_standin).
#include "platform/process.h"
#include "platform/programfile.h"
#include "platform/programpaths.h"
#include "platform/resources.h"
#include "platform/shell.h"

#include "support/filecontent.h"
#include "support/programrun.h"
#include "support/scratchfolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace velmora::platform {
namespace {

using testsupport::fromUtf8Path;
using testsupport::readFile;
using Fields = std::vector<std::string>;

// Points VELMORA_STANDIN_RECORD, which the stand-in inherits, at a file of a
// scratch folder for one test.
class StandInTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(scratch_.path().empty());
        record_ = scratch_.path() + "\\record.txt";
        SetEnvironmentVariableW(L"VELMORA_STANDIN_RECORD", fromUtf8Path(record_).c_str());
    }
    void TearDown() override { SetEnvironmentVariableW(L"VELMORA_STANDIN_RECORD", nullptr); }

    // The recorded lines once count of them are there (30 s at most: Wine
    // gives the first console program of a session its console slowly), each
    // split at the unit separator.
    std::vector<Fields> recorded(std::size_t count) const {
        std::vector<Fields> lines;
        for (int i = 0; i < 600 && lines.size() < count; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            lines.clear();
            std::ifstream in(fromUtf8Path(record_), std::ios::binary);
            std::string line;
            while (std::getline(in, line)) {
                Fields fields{""};
                for (const char c : line) {
                    if (c == '\x1f')
                        fields.emplace_back();
                    else
                        fields.back() += c;
                }
                lines.push_back(fields);
            }
        }
        return lines;
    }

    testsupport::ScratchFolder scratch_{"velmora-standin"};
    std::string record_;
};

TEST_F(StandInTest, TheConsoleToolGetsTheParameterStringAsItStands) {
    // The window's string for a file in a drive's root and a server path
    // written with a final "\": each "\" before a quote is an ordinary one.
    const std::string parameters = R"("C:\" "\\server1\c$\App\" "prog.exe" /Z )";
    const Status started = shellStartConsoleProgram(VELMORA_STANDIN_PATH, parameters, nullptr);
    ASSERT_TRUE(started.ok()) << started.error().message;
    const auto lines = recorded(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][0], parameters);
}

TEST_F(StandInTest, ShellOpenRunsAProgramAndTellsItsFailuresAsSystemErrors) {
    ASSERT_TRUE(shellOpen(VELMORA_STANDIN_PATH).ok());
    EXPECT_EQ(recorded(1), (std::vector<Fields>{{""}}));

    // ShellExecute's own codes up to 32 are failures, told as system errors.
    const Status missing = shellOpen(scratch_.path() + "\\missing.exe");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ERROR_FILE_NOT_FOUND);
    testsupport::writeFile(scratch_.path() + "\\notes.velmora-unknown", "x");
    const Status unknown = shellOpen(scratch_.path() + "\\notes.velmora-unknown");
    ASSERT_FALSE(unknown.ok());
    EXPECT_EQ(unknown.error().code, ERROR_NO_ASSOCIATION) << unknown.error().message;
    EXPECT_EQ(unknown.error().message, systemError(ERROR_NO_ASSOCIATION).message);
    // Windows' ping has no end of options.
    EXPECT_EQ(shellStartPing("-t", false, nullptr).error().code, ERROR_INVALID_PARAMETER);
}

TEST_F(StandInTest, DetachedProgramsGetEachArgumentWhole) {
    const std::vector<std::string> args = {"a b", "C:\\dir\\", "say \"hi\"", "",
                                           "\xC4\x8Dvor \xD1\x87"}; // "čvor ч"
    const Status started = startDetached(VELMORA_STANDIN_PATH, args);
    ASSERT_TRUE(started.ok()) << started.error().message;
    const auto lines = recorded(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Fields(lines[0].begin() + 1, lines[0].end()), args);

    const Status missing = startDetached(scratch_.path() + "\\missing.exe", {});
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ERROR_FILE_NOT_FOUND);
}

TEST_F(StandInTest, TheProgramFolderIsWhereTheProgramRunsFromWhateverItsName) {
    const std::string folder = scratch_.path() + "\\\xC4\x8Dvor \xD1\x87"; // "čvor ч"
    ASSERT_TRUE(CreateDirectoryW(fromUtf8Path(folder).c_str(), nullptr));
    const std::string copy = folder + "\\standin.exe";
    const std::string bytes = readFile(VELMORA_STANDIN_PATH);
    ASSERT_TRUE(
        writeProgramFile(copy, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())
            .ok());
    ASSERT_TRUE(startDetached(copy, {"--folder"}).ok());
    EXPECT_EQ(recorded(1), (std::vector<Fields>{{folder + "\\"}}));
    // And this test program's own folder.
    const std::string mine = executableFolder();
    ASSERT_FALSE(mine.empty());
    EXPECT_EQ(mine.back(), '\\');
    EXPECT_EQ(readFile(mine + "velmora_standin.exe"), bytes);
}

TEST(WindowsTempFolderTest, IsTheUsersTemporaryFolderWhateverItsName) {
    testsupport::ScratchFolder scratch;
    const std::string folder = scratch.path() + "\\Privremeni \xC4\x8D\xD1\x87"; // "čч"
    ASSERT_TRUE(CreateDirectoryW(fromUtf8Path(folder).c_str(), nullptr));
    wchar_t saved[1024] = {};
    const DWORD had = GetEnvironmentVariableW(L"TMP", saved, 1024);
    SetEnvironmentVariableW(L"TMP", fromUtf8Path(folder).c_str());
    const std::string temp = userTempFolder();
    SetEnvironmentVariableW(L"TMP", had > 0 && had < 1024 ? saved : nullptr);
    EXPECT_EQ(temp, folder + "\\");
}

TEST(WindowsResourcesTest, TheCopierIsCarriedAsExefileTestfile) {
    auto found = findModuleResource("EXEFILE", "TESTFILE");
    ASSERT_TRUE(found.ok()) << found.error().message;
    const std::string embedded(reinterpret_cast<const char*>(found.value().data),
                               found.value().size);
    EXPECT_EQ(embedded, readFile(VELMORA_EMBEDDED_COPIER_PATH));
    EXPECT_FALSE(findModuleResource("EXEFILE", "NOSUCHFILE").ok());

    // The window writes it alone to the temporary folder and starts it there,
    // away from the compiler's runtime DLLs: it must run all the same (and
    // answer a call without arguments with its usage and 16).
    testsupport::ScratchFolder temp;
    const std::string tool = temp.path() + "\\Robocopy_FROM_RES.EXE";
    ASSERT_TRUE(writeProgramFile(tool, found.value().data, found.value().size).ok());
    const testsupport::ProgramRun run = testsupport::runProgram(tool, {});
    EXPECT_EQ(run.exitCode, 16) << run.output;
    EXPECT_NE(run.output.find("Usage: velmora-copier"), std::string::npos) << run.output;
}

} // namespace
} // namespace velmora::platform
