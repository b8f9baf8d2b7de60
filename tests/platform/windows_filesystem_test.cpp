// The local file system as Windows runs it: the system's own calls behind
// LocalFileSystem, on a scratch folder of this machine.
#include "platform/dostime.h"
#include "platform/filesystem.h"
#include "platform/localfilesystem.h"
#include "platform/process.h"
#include "platform/programfile.h"

#include "support/filecontent.h"
#include "support/scratchfolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace velmora::platform {
namespace {

namespace fs = std::filesystem;
using testsupport::fromUtf8Path;
using testsupport::readFile;
using testsupport::writeFile;

class WindowsFileSystemTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(scratch_.path().empty()); }
    std::string path(const std::string& name) const { return scratch_.path() + "\\" + name; }
    std::string write(const std::string& name, const std::string& content) {
        writeFile(path(name), content);
        return path(name);
    }

    testsupport::ScratchFolder scratch_{"velmora-win"};
    LocalFileSystem fs_;
};

testing::AssertionResult writeAll(Result<std::unique_ptr<WritableFile>> opened,
                                  const std::string& text) {
    if (!opened.ok())
        return testing::AssertionFailure() << "open: " << opened.error().message;
    auto put = opened.value()->write(text.data(), text.size());
    if (!put.ok() || put.value() != text.size())
        return testing::AssertionFailure() << "short write";
    if (Status closed = opened.value()->close(); !closed.ok())
        return testing::AssertionFailure() << "close: " << closed.error().message;
    return testing::AssertionSuccess();
}

// A FILETIME as 100 ns steps since 1601, UTC.
long long ticksOf(const FILETIME& t) {
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                  t.dwLowDateTime);
}

long long ticksOf(const SYSTEMTIME& t) {
    FILETIME f{};
    EXPECT_TRUE(SystemTimeToFileTime(&t, &f));
    return ticksOf(f);
}

constexpr long long kTicksPerMinute = 600000000LL;

long long lastWriteTicks(const std::string& file) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(fromUtf8Path(file).c_str(), GetFileExInfoStandard, &data));
    return ticksOf(data.ftLastWriteTime);
}

TEST_F(WindowsFileSystemTest, RenameNeverReplacesAFileOrAFolder) {
    const std::string from = write("new.exe", "new");
    const std::string taken = write("prog.exe", "old");
    ASSERT_TRUE(CreateDirectoryW(fromUtf8Path(path("folder")).c_str(), nullptr));
    for (const std::string& target : {taken, path("folder")}) {
        const Status renamed = fs_.renameNoReplace(from, target);
        ASSERT_FALSE(renamed.ok()) << target;
        EXPECT_TRUE(renamed.error().code == ERROR_ALREADY_EXISTS ||
                    renamed.error().code == ERROR_FILE_EXISTS)
            << renamed.error().code << " " << renamed.error().message;
    }
    EXPECT_EQ(readFile(from), "new");
    EXPECT_EQ(readFile(taken), "old");
    ASSERT_TRUE(fs_.renameNoReplace(from, path("free.exe")).ok());
    EXPECT_EQ(readFile(path("free.exe")), "new");
    EXPECT_FALSE(fs_.fileExists(from));
}

// The placement of a copy: the previous program keeps its content and stamp
// under a second name, and the new copy takes the program's name in one step.
TEST_F(WindowsFileSystemTest, ASecondNameKeepsThePreviousCopyAndTheNewOneReplacesInOneStep) {
    const std::string program = write("prog.exe", "old");
    const std::string fresh = write("prog.exe~", "new");
    const DosTime stamp = packDosTime({2024, 7, 1, 12, 30, 0});
    ASSERT_TRUE(fs_.setLastWriteTime(program, stamp).ok());
    ASSERT_TRUE(fs_.replacesInOneStep(program));
    ASSERT_TRUE(fs_.linkOrCopy(program, path("_prog.exe")).ok());
    EXPECT_FALSE(fs_.linkOrCopy(program, path("_prog.exe")).ok()) << "never over a name";
    ASSERT_TRUE(fs_.renameReplacing(fresh, program).ok());
    EXPECT_EQ(readFile(program), "new");
    EXPECT_EQ(readFile(path("_prog.exe")), "old");
    EXPECT_EQ(fs_.findEntry(path("_prog.exe")).value().time, stamp);
    EXPECT_FALSE(fs_.fileExists(fresh));
}

// The packed stamp is local time. A summer and a winter date must each be
// turned into UTC with the offset in force on that date, whatever the date
// today: with today's offset one of the two would be an hour off.
TEST_F(WindowsFileSystemTest, LocalTimeOfAStampUsesTheOffsetOfItsOwnDate) {
    TIME_ZONE_INFORMATION zone{};
    GetTimeZoneInformation(&zone);
    if (zone.DaylightDate.wMonth == 0 || zone.DaylightBias == zone.StandardBias)
        GTEST_SKIP() << "this machine's time zone has no daylight-saving time; scripts/test runs "
                        "these tests with TZ=Europe/Belgrade";
    // North of the equator July is summer; south of it January.
    const bool julyIsSummer = zone.DaylightDate.wMonth < zone.StandardDate.wMonth;
    struct Case {
        SYSTEMTIME local;
        long bias; // minutes: UTC = local + bias
    };
    const Case cases[] = {
        {{2021, 7, 0, 15, 14, 0, 4, 0},
         zone.Bias + (julyIsSummer ? zone.DaylightBias : zone.StandardBias)},
        {{2021, 1, 0, 15, 14, 0, 4, 0},
         zone.Bias + (julyIsSummer ? zone.StandardBias : zone.DaylightBias)},
    };
    const std::string file = write("prog.exe", "x");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.local.wMonth);
        const long long utc = ticksOf(c.local) + c.bias * kTicksPerMinute;
        const DosTime stamp = packDosTime({c.local.wYear, c.local.wMonth, c.local.wDay,
                                           c.local.wHour, c.local.wMinute, c.local.wSecond});
        // Set from the stamp: the file's UTC time.
        ASSERT_TRUE(fs_.setLastWriteTime(file, stamp).ok());
        EXPECT_EQ((lastWriteTicks(file) - utc) / kTicksPerMinute, 0);
        // Read from the UTC time (odd seconds step down to the stamp's two).
        const unsigned long long odd = static_cast<unsigned long long>(utc) + 10000000ULL;
        const HANDLE h = CreateFileW(fromUtf8Path(file).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        const FILETIME written{static_cast<DWORD>(odd), static_cast<DWORD>(odd >> 32)};
        ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &written));
        CloseHandle(h);
        auto entry = fs_.findEntry(file);
        ASSERT_TRUE(entry.ok()) << entry.error().message;
        EXPECT_EQ(entry.value().time, stamp);
    }
}

TEST_F(WindowsFileSystemTest, AFileOpenForWritingIsSharedWithNobody) {
    const std::string file = path("prog.exe~");
    auto first = fs_.createForWriting(file);
    ASSERT_TRUE(first.ok()) << first.error().message;
    ASSERT_EQ(first.value()->write("first ", 6).value(), 6u);

    auto second = fs_.createForWriting(file);
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error().code, ERROR_SHARING_VIOLATION);
    auto reopened = fs_.reopenForWriting(file, 0);
    ASSERT_FALSE(reopened.ok());
    EXPECT_EQ(reopened.error().code, ERROR_SHARING_VIOLATION);
    EXPECT_FALSE(fs_.readWholeFile(file).ok()) << "a reader is kept out too";

    ASSERT_TRUE(first.value()->close().ok());
    EXPECT_TRUE(writeAll(fs_.reopenForWriting(file, 6), "and then"));
    EXPECT_EQ(readFile(file), "first and then");
    auto missing = fs_.reopenForWriting(path("missing"), 0);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs_.fileExists(path("missing")));
}

// The copy's previous program (_prog.exe, prog.exe~old) may be read-only;
// Linux deletes such a file, and a copy that cannot delete it fails on every
// later run. A running program's file stays, as its attribute does.
TEST_F(WindowsFileSystemTest, DeleteTakesReadOnlyFilesButNotARunningProgram) {
    const std::string readOnly = write("_prog.exe", "old");
    ASSERT_TRUE(SetFileAttributesW(fromUtf8Path(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    auto entry = fs_.findEntry(readOnly);
    ASSERT_TRUE(entry.ok());
    EXPECT_EQ(entry.value().attributes & AttrReadOnly, std::uint32_t{AttrReadOnly});
    const Status deleted = fs_.deleteFile(readOnly);
    EXPECT_TRUE(deleted.ok()) << deleted.error().message;
    EXPECT_FALSE(fs_.fileExists(readOnly));

    const std::string tool = path("tool.exe");
    const std::string bytes = readFile(VELMORA_STANDIN_PATH);
    ASSERT_TRUE(
        writeProgramFile(tool, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())
            .ok());
    ASSERT_TRUE(SetFileAttributesW(fromUtf8Path(tool).c_str(), FILE_ATTRIBUTE_READONLY));
    auto started = startDetachedProcess(tool, {"--sleep", "30"});
    ASSERT_TRUE(started.ok()) << started.error().message;
    const HANDLE running =
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(started.value()));
    ASSERT_NE(running, nullptr);
    EXPECT_FALSE(fs_.deleteFile(tool).ok());
    EXPECT_FALSE(writeProgramFile(tool, reinterpret_cast<const unsigned char*>("MZ"), 2).ok());
    EXPECT_EQ(readFile(tool), bytes);
    EXPECT_NE(GetFileAttributesW(fromUtf8Path(tool).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

    TerminateProcess(running, 1);
    WaitForSingleObject(running, 10000);
    CloseHandle(running);
    Status gone = fs_.deleteFile(tool);
    for (int i = 0; i < 50 && !gone.ok(); ++i) { // the system lets go of the image shortly after
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        gone = fs_.deleteFile(tool);
    }
    EXPECT_TRUE(gone.ok()) << gone.error().message;
}

// Names outside the ANSI code page, and paths longer than MAX_PATH, reach the
// system unchanged through every call of a copy; bytes that are not UTF-8
// are read in the ANSI code page.
TEST_F(WindowsFileSystemTest, AnyNameAndLongPathsWork) {
    // The test's own calls take the long form "\\?\" to get past MAX_PATH.
    const auto longForm = [](const std::string& p) {
        return L"\\\\?\\" + fromUtf8Path(p).wstring();
    };
    std::string folder = scratch_.path();
    while (folder.size() < 300) {
        folder += "\\\xC4\x8Dvor \xD1\x87\xD0\xB2\xD0\xBE\xD1\x80 0123456789"; // "čvor чвор"
        ASSERT_TRUE(CreateDirectoryW(longForm(folder).c_str(), nullptr)) << GetLastError();
    }
    const std::string name = folder + "\\\xC5\xA1ifra \xC4\x91\xC5\xBE.exe"; // "šifra đž.exe"
    ASSERT_TRUE(writeAll(fs_.createForWriting(name + "~"), "0123"));
    ASSERT_TRUE(writeAll(fs_.reopenForWriting(name + "~", 4), "4567"));
    ASSERT_TRUE(fs_.renameNoReplace(name + "~", name).ok());
    const DosTime stamp = packDosTime({2009, 11, 5, 14, 3, 8});
    ASSERT_TRUE(fs_.setLastWriteTime(name, stamp).ok());
    auto entry = fs_.findEntry(name);
    ASSERT_TRUE(entry.ok()) << entry.error().message;
    EXPECT_EQ(entry.value().size, 8u);
    EXPECT_EQ(entry.value().time, stamp);
    EXPECT_TRUE(fs_.directoryExists(folder));
    auto read = fs_.readWholeFile(name);
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(std::string(read.value().begin(), read.value().end()), "01234567");
    // The system lists the very name, not a best fit of it.
    EXPECT_NE(GetFileAttributesW((longForm(folder) + L"\\\u0161ifra \u0111\u017e.exe").c_str()),
              INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(fs_.deleteFile(name).ok());
    EXPECT_FALSE(fs_.fileExists(name));
    for (std::string f = folder; f.size() > scratch_.path().size(); f.resize(f.rfind('\\')))
        RemoveDirectoryW(longForm(f).c_str());

    const std::string ansi = "\xE8vor.txt"; // not UTF-8: a byte of the ANSI code page
    wchar_t wide[16] = {};
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, 16), 0);
    ASSERT_TRUE(writeAll(fs_.createForWriting(path(ansi)), "x"));
    EXPECT_TRUE(fs::exists(fs::path(fromUtf8Path(scratch_.path())) / wide));
}

TEST(WindowsSystemErrorTest, TextsHaveNoInsertsAndNoFinalStop) {
    for (const int code : {ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION, ERROR_BAD_EXE_FORMAT}) {
        const Error error = systemError(code);
        SCOPED_TRACE(code);
        EXPECT_EQ(error.code, code);
        EXPECT_FALSE(error.message.empty());
        EXPECT_EQ(error.message.find('%'), std::string::npos) << error.message;
        EXPECT_NE(error.message.back(), '.') << error.message;
    }
}

} // namespace
} // namespace velmora::platform
