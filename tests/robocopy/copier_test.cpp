#include "platform/filesystem.h"
#include "support/filecontent.h"
#include "support/programrun.h"
#include "support/scratchfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

using testsupport::readFile;
using testsupport::writeFile;

void setModified(const std::string& path, std::time_t when) {
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = when;
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

platform::DosTime stampOf(const std::string& path) {
    auto entry = platform::localFileSystem().findEntry(path);
    return entry ? entry.value().time : 0;
}

Names namesIn(const std::string& folder) {
    Names names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
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
        fs::create_directories(source);
        fs::create_directories(target);
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
    std::string sourceFile() const { return source + "/prog.exe"; }
    std::string targetFile() const { return target + "/prog.exe"; }

    testsupport::ScratchFolder scratch{"velmora-copier"};
    const std::string source = scratch.path() + "/Verzije";
    const std::string target = scratch.path() + "/server";
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

    struct stat before {};
    ASSERT_EQ(stat(targetFile().c_str(), &before), 0);
    run = copy();
    EXPECT_EQ(run.exitCode, 0) << run.output;
    struct stat after {};
    ASSERT_EQ(stat(targetFile().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtime, before.st_mtime);

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
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_GE(fcntl(out[1], F_SETPIPE_SZ, 4096), 0);
    const pid_t pid = testsupport::spawnProgram(VELMORA_COPIER_PATH, arguments(), out[1]);
    close(out[1]);
    ASSERT_GT(pid, 0);
    std::uintmax_t size = 0;
    for (int poll = 0, steady = 0; poll < 1200 && steady < 10; ++poll) { // 60 s at most
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const Names names = namesIn(target);
        const std::uintmax_t now = names.size() == 1 ? fs::file_size(target + "/" + names[0]) : 0;
        steady = now > 0 && now == size ? steady + 1 : 0;
        size = now;
    }
    kill(pid, SIGKILL);
    EXPECT_EQ(testsupport::waitForExit(pid), -1);
    close(out[0]);
    const Names left = namesIn(target);
    ASSERT_EQ(left.size(), 1u);
    const std::string partial = target + "/" + left[0];
    ASSERT_NE(left[0], "prog.exe");
    const std::uintmax_t cut = fs::file_size(partial);
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
    fs::remove(targetFile());
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

TEST_F(CopierTest, FailuresExitWithEightAndBadUsageWithSixteen) {
    ProgramRun run = copy(); // no source file
    EXPECT_GE(run.exitCode, 8) << run.output;
    EXPECT_LT(run.exitCode, 16) << run.output;
    EXPECT_TRUE(has(run, "ERROR: ")) << run.output;

    writeFile(sourceFile(), "program");
    run = runCopier({source, target + "/none", "prog.exe", "/Z"});
    EXPECT_GE(run.exitCode, 8) << run.output;
    EXPECT_LT(run.exitCode, 16) << run.output;
    EXPECT_FALSE(fs::exists(target + "/none"));

    EXPECT_EQ(runCopier({source, target}).exitCode, 16);
    EXPECT_EQ(runCopier({source, target, "prog.exe", "/X"}).exitCode, 16);
    EXPECT_TRUE(namesIn(target).empty());
}

TEST_F(CopierTest, AFailedCopyPutsTheWindowsBackupBackInPlace) {
    // The window has moved the previous copy to _prog.exe; then the copy fails
    // before anything is written (the local file was deleted since it was
    // added), and later while the partial file is created (a folder stands
    // where it would be).
    writeFile(target + "/_prog.exe", "the old version");
    ProgramRun run = copy();
    EXPECT_GE(run.exitCode, 8) << run.output;
    EXPECT_EQ(readFile(targetFile()), "the old version");
    EXPECT_FALSE(fs::exists(target + "/_prog.exe"));

    fs::rename(targetFile(), target + "/_prog.exe");
    writeFile(sourceFile(), "the new version");
    char time[9];
    std::snprintf(time, sizeof time, "%08X", static_cast<unsigned>(stampOf(sourceFile())));
    fs::create_directory(target + "/prog.exe~15-" + time + ".partial");

    run = copy();
    EXPECT_GE(run.exitCode, 8) << run.output;
    EXPECT_EQ(readFile(targetFile()), "the old version");
    EXPECT_FALSE(fs::exists(target + "/_prog.exe"));
}

} // namespace
} // namespace velmora::robocopy
