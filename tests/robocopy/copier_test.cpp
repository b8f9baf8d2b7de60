#include "platform/commandline.h"
#include "platform/filesystem.h"
#include "support/filecontent.h"
#include "support/programrun.h"
#include "support/scratchfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace velmora::robocopy {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using testsupport::ProgramRun;

// Every 4-byte word holds its index mixed with the salt, so a piece written at
// the wrong offset, or another version's bytes, show.
std::string patterned(std::size_t size, std::uint32_t salt) {
    std::string bytes(size, 'x');
    for (std::size_t i = 0; i + 4 <= size; i += 4) {
        const std::uint32_t word = static_cast<std::uint32_t>(i / 4) ^ salt;
        std::memcpy(bytes.data() + i, &word, 4);
    }
    return bytes;
}

using testsupport::identityOf;
using testsupport::kSeparator;
using testsupport::readFile;
using testsupport::writeFile;

void setModified(const std::string& path, std::time_t when) {
    ASSERT_TRUE(testsupport::setModified(path, when)) << path;
}

platform::DosTime stampOf(const std::string& path) {
    auto entry = platform::localFileSystem().findEntry(path);
    return entry ? entry.value().time : 0;
}

Names namesIn(const std::string& folder) {
    Names names;
    for (const auto& entry : fs::directory_iterator(testsupport::fromUtf8Path(folder)))
        names.push_back(testsupport::utf8Path(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

bool has(const ProgramRun& run, const std::string& text) {
    return run.output.find(text) != std::string::npos;
}

// The built velmora-copier, started as a process, on a source and a target
// folder of a scratch folder.
class CopierTest : public testing::Test {
protected:
    CopierTest() {
        fs::create_directories(testsupport::fromUtf8Path(source));
        fs::create_directories(testsupport::fromUtf8Path(target));
    }
    static ProgramRun runCopier(const std::vector<std::string>& args) {
        return testsupport::runProgram(VELMORA_COPIER_PATH, args);
    }
    std::vector<std::string> arguments(bool restartable = true) const {
        std::vector<std::string> args{source, target, "prog.exe"};
        if (restartable)
            args.push_back("/Z");
        return args;
    }
    ProgramRun copy(bool restartable = true) const { return runCopier(arguments(restartable)); }
    std::string sourceFile() const { return source + kSeparator + "prog.exe"; }
    std::string targetFile() const { return target + kSeparator + "prog.exe"; }
    std::string inTarget(const std::string& name) const { return target + kSeparator + name; }

    testsupport::ScratchFolder scratch{"velmora-copier"};
    const std::string source = scratch.path() + kSeparator + "Verzije";
    const std::string target = scratch.path() + kSeparator + "server";
};

TEST_F(CopierTest, CopiesThenFindsTheFileUpToDateThenReplacesItForANewSource) {
    const std::string first = patterned(300000, 1); // several pieces, not a multiple of one
    writeFile(sourceFile(), first);
    setModified(sourceFile(), std::time(nullptr) - 3 * 86400);
    // A destination written with a final "\" and the option in lower case.
    ProgramRun run = runCopier({source, target + "\\", "prog.exe", "/z"});
    ASSERT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(readFile(targetFile()) == first);
    EXPECT_EQ(stampOf(targetFile()), stampOf(sourceFile()));
    EXPECT_EQ(namesIn(target), Names{"prog.exe"});
    EXPECT_TRUE(has(run, "\r 100.0%")) << run.output;

    const testsupport::FileIdentity before = identityOf(targetFile());
    ASSERT_NE(before.index, 0u);
    run = copy();
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(identityOf(targetFile()) == before) << "the up-to-date file was written again";

    const std::string second = patterned(200000, 2);
    writeFile(sourceFile(), second);
    run = copy(false);
    ASSERT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(readFile(targetFile()) == second);
    EXPECT_EQ(stampOf(targetFile()), stampOf(sourceFile()));
    EXPECT_EQ(namesIn(target), Names{"prog.exe"}); // no partial, no prog.exe~old
}

TEST_F(CopierTest, AKilledCopyGoesOnFromItsPartialFileOnlyForTheSameSourceAndWithZ) {
    const std::size_t total = 64u << 20;
    const std::string first = patterned(total, 0);
    writeFile(sourceFile(), first);

    // Nobody reads the small pipe: the tool stops part way, at a progress line.
    testsupport::SmallPipe out;
    ASSERT_TRUE(out.ok());
    const testsupport::Process tool =
        testsupport::spawnProgram(VELMORA_COPIER_PATH, arguments(), out.writeEnd());
    out.closeWrite();
    ASSERT_NE(tool, testsupport::kNoProcess);
    std::uintmax_t size = 0;
    for (int poll = 0, steady = 0; poll < 1200 && steady < 10; ++poll) { // 60 s at most
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const Names names = namesIn(target);
        std::error_code error;
        const std::uintmax_t now =
            names.size() == 1 ? fs::file_size(testsupport::fromUtf8Path(inTarget(names[0])), error)
                              : 0;
        steady = !error && now > 0 && now == size ? steady + 1 : 0;
        size = now;
    }
    testsupport::killProcess(tool);
    EXPECT_EQ(testsupport::waitForExit(tool), -1);
    out.closeRead();
    const Names left = namesIn(target);
    ASSERT_EQ(left.size(), 1u);
    const std::string partial = inTarget(left[0]);
    ASSERT_NE(left[0], "prog.exe");
    const std::uintmax_t cut = fs::file_size(testsupport::fromUtf8Path(partial));
    ASSERT_GT(cut, 0u);
    ASSERT_LT(cut, total);

    ProgramRun run = copy();
    ASSERT_EQ(run.exitCode, 1) << run.output;
    EXPECT_TRUE(has(run, "Restarting at " + std::to_string(cut) + " bytes")) << run.output;
    EXPECT_TRUE(readFile(targetFile()) == first);
    EXPECT_EQ(namesIn(target), Names{"prog.exe"});

    // From here the partial file is not a beginning of the source: going on
    // from it would show in the copy.
    const std::string foreign(cut, '?');
    // Without /Z even a partial file of the same source is started over.
    fs::remove(testsupport::fromUtf8Path(targetFile()));
    writeFile(partial, foreign);
    run = copy(false);
    ASSERT_EQ(run.exitCode, 1) << run.output;
    EXPECT_FALSE(has(run, "Restarting")) << run.output;
    EXPECT_TRUE(readFile(targetFile()) == first);

    // The partial file of an older source (same size, other time stamp).
    writeFile(partial, foreign);
    const std::string second = patterned(total, 0x5a5a5a5a);
    writeFile(sourceFile(), second);
    setModified(sourceFile(), std::time(nullptr) - 3600);
    run = copy();
    ASSERT_EQ(run.exitCode, 1) << run.output;
    EXPECT_FALSE(has(run, "Restarting")) << run.output;
    EXPECT_TRUE(readFile(targetFile()) == second);
}

// The window hands the tool one parameter string, "SOURCE" "DESTINATION" "NAME"
// /Z and a blank. On Windows the tool reads the command line as the system
// keeps it, where the C runtime would take the "\" before a closing quote for
// an escape and a name outside the ANSI code page for another name; on Linux
// the window splits the string the same way before it starts the tool.
TEST_F(CopierTest, TakesTheWindowsParameterStringWithAFinalBackslashAndAnyName) {
    const std::string name = "\xC4\x8Dvor \xD1\x87.exe"; // "čvor ч.exe"
    writeFile(source + kSeparator + name, "new version");
    const std::string parameters = "\"" + source + "\" \"" + target + "\\\" \"" + name + "\" /Z ";
#ifdef _WIN32
    const ProgramRun run = testsupport::runCommandLine(VELMORA_COPIER_PATH, parameters);
#else
    const ProgramRun run =
        testsupport::runProgram(VELMORA_COPIER_PATH, platform::splitParameters(parameters));
#endif
    ASSERT_EQ(run.exitCode, 1) << run.output;
    EXPECT_EQ(readFile(inTarget(name)), "new version");
    EXPECT_EQ(namesIn(target), Names{name});
}

TEST_F(CopierTest, FailuresExitWithEightAndBadUsageWithSixteen) {
    ProgramRun run = copy(); // no source file
    EXPECT_GE(run.exitCode, 8) << run.output;
    EXPECT_LT(run.exitCode, 16) << run.output;
    EXPECT_TRUE(has(run, "ERROR: ")) << run.output;

    writeFile(sourceFile(), "program");
    run = runCopier({source, inTarget("none"), "prog.exe", "/Z"});
    EXPECT_GE(run.exitCode, 8) << run.output;
    EXPECT_LT(run.exitCode, 16) << run.output;
    EXPECT_FALSE(fs::exists(testsupport::fromUtf8Path(inTarget("none"))));

    EXPECT_EQ(runCopier({source, target}).exitCode, 16);
    EXPECT_EQ(runCopier({source, target, "prog.exe", "/X"}).exitCode, 16);
    EXPECT_TRUE(namesIn(target).empty());
}

TEST_F(CopierTest, AFailedCopyPutsTheWindowsBackupBackInPlace) {
    // The window has moved the previous copy to _prog.exe; then the copy fails
    // before anything is written (the local file was deleted since it was
    // added), and later while the partial file is created (a folder stands
    // where it would be).
    writeFile(inTarget("_prog.exe"), "the old version");
    ProgramRun run = copy();
    EXPECT_GE(run.exitCode, 8) << run.output;
    EXPECT_EQ(readFile(targetFile()), "the old version");
    EXPECT_FALSE(fs::exists(testsupport::fromUtf8Path(inTarget("_prog.exe"))));

    fs::rename(testsupport::fromUtf8Path(targetFile()),
               testsupport::fromUtf8Path(inTarget("_prog.exe")));
    writeFile(sourceFile(), "the new version");
    char time[9];
    std::snprintf(time, sizeof time, "%08X", static_cast<unsigned>(stampOf(sourceFile())));
    fs::create_directory(
        testsupport::fromUtf8Path(inTarget(std::string("prog.exe~15-") + time + ".partial")));

    run = copy();
    EXPECT_GE(run.exitCode, 8) << run.output;
    EXPECT_EQ(readFile(targetFile()), "the old version");
    EXPECT_FALSE(fs::exists(testsupport::fromUtf8Path(inTarget("_prog.exe"))));
}

} // namespace
} // namespace velmora::robocopy
