#include "platform/dostime.h"
#include "platform/filesystem.h"
#include "platform/localfilesystem.h"

#include "support/sanitizers.h"
#include "support/scratchfolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace velmora::platform {
namespace {

// A fresh folder under the system's temporary folder, removed after each test.
class LocalFileSystemTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(scratch_.path().empty()) << "mkdtemp: errno " << errno;
        root_ = scratch_.path();
    }
    std::string path(const std::string& name) const { return root_ + "/" + name; }

    std::string write(const std::string& name, const std::string& content) {
        const std::string file = path(name);
        std::ofstream out(file, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        EXPECT_TRUE(out.good()) << file;
        return file;
    }

    testsupport::ScratchFolder scratch_{"velmora-fs"};
    std::string root_;
    LocalFileSystem fs_;
};

std::string asString(const std::vector<char>& data) {
    return std::string(data.begin(), data.end());
}

std::string contentOf(const std::string& file) {
    auto read = localFileSystem().readWholeFile(file);
    return read.ok() ? asString(read.value()) : "<" + read.error().message + ">";
}

testing::AssertionResult putAll(WritableFile& file, const std::string& text) {
    auto put = file.write(text.data(), text.size());
    if (!put.ok())
        return testing::AssertionFailure() << "write: " << put.error().message;
    if (put.value() != text.size())
        return testing::AssertionFailure() << "wrote " << put.value() << " of " << text.size();
    return testing::AssertionSuccess();
}

// Writes the text into the file just opened and closes it.
testing::AssertionResult writeAll(Result<std::unique_ptr<WritableFile>> opened,
                                  const std::string& text) {
    if (!opened.ok())
        return testing::AssertionFailure() << "open: " << opened.error().message;
    if (auto put = putAll(*opened.value(), text); !put)
        return put;
    if (Status closed = opened.value()->close(); !closed.ok())
        return testing::AssertionFailure() << "close: " << closed.error().message;
    return testing::AssertionSuccess();
}

TEST_F(LocalFileSystemTest, ReadsEmptySmallAndBinaryFiles) {
    auto empty = fs_.readWholeFile(write("empty.txt", ""));
    ASSERT_TRUE(empty.ok()) << empty.error().message;
    EXPECT_TRUE(empty.value().empty());

    auto small = fs_.readWholeFile(write("small.txt", "Verzija 2.0\r\n"));
    ASSERT_TRUE(small.ok()) << small.error().message;
    EXPECT_EQ(asString(small.value()), "Verzija 2.0\r\n");

    std::string binary;
    for (int i = 0; i < 3 * 1024 * 1024 + 7; ++i)
        binary.push_back(static_cast<char>((i * 131) % 256)); // NUL bytes included
    auto read = fs_.readWholeFile(write("prog.exe", binary));
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(read.value().size(), binary.size());
    EXPECT_TRUE(asString(read.value()) == binary);
}

TEST_F(LocalFileSystemTest, ReadReportsTheSystemsReason) {
    auto missing = fs_.readWholeFile(path("missing.exe"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_NE(missing.error().message.find("No such file"), std::string::npos)
        << missing.error().message;

    auto folder = fs_.readWholeFile(root_);
    ASSERT_FALSE(folder.ok());
    EXPECT_EQ(folder.error().code, EISDIR);
    EXPECT_FALSE(folder.error().message.empty());
}

TEST_F(LocalFileSystemTest, ReadOfAnUnreadableFileFails) {
    if (getuid() == 0)
        GTEST_SKIP() << "root reads files without read permission";
    const std::string file = write("locked.exe", "secret");
    ASSERT_EQ(chmod(file.c_str(), 0200), 0);
    auto read = fs_.readWholeFile(file);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().code, EACCES);
}

TEST_F(LocalFileSystemTest, ReadsFilesTheSystemReportsAsEmpty) {
    // /proc files report size 0 but have content.
    auto read = fs_.readWholeFile("/proc/self/status");
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_NE(asString(read.value()).find("Name:"), std::string::npos);
}

TEST_F(LocalFileSystemTest, EntrySizeIsSixtyFourBit) {
    const std::string file = write("big.bin", "");
    const int fd = open(file.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const off_t fiveGiB = off_t{5} << 30;
    const int truncated = ftruncate(fd, fiveGiB);
    close(fd);
    ASSERT_EQ(truncated, 0) << "sparse file not supported here";
    auto entry = fs_.findEntry(file);
    ASSERT_TRUE(entry.ok()) << entry.error().message;
    EXPECT_EQ(entry.value().size, std::uint64_t{5} << 30);
}

TEST_F(LocalFileSystemTest, EntryTimeIsTheLastWrite) {
    const std::string file = write("prog.exe", "x");
    const std::time_t written = 1257429787; // 2009-11-05 14:03:07 UTC
    const timeval times[2] = {{written + 1000, 0}, {written, 0}};
    ASSERT_EQ(utimes(file.c_str(), times), 0);
    auto entry = fs_.findEntry(file);
    ASSERT_TRUE(entry.ok()) << entry.error().message;
    EXPECT_EQ(entry.value().time, dosTimeFromUnixTime(written));
    EXPECT_EQ(unpackDosTime(entry.value().time).year, 2009);
    EXPECT_EQ(unpackDosTime(entry.value().time).month, 11);
}

TEST_F(LocalFileSystemTest, EntryAttributes) {
    auto folder = fs_.findEntry(root_);
    ASSERT_TRUE(folder.ok()) << folder.error().message;
    EXPECT_EQ(folder.value().attributes & (AttrDirectory | AttrArchive), AttrDirectory);
    EXPECT_EQ(folder.value().size, 0u);

    auto file = fs_.findEntry(write("prog.exe", "12345"));
    ASSERT_TRUE(file.ok()) << file.error().message;
    EXPECT_EQ(file.value().attributes, std::uint32_t{AttrArchive});
    EXPECT_EQ(file.value().size, 5u);

    const std::string readOnly = write("readonly.exe", "x");
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    auto locked = fs_.findEntry(readOnly);
    ASSERT_TRUE(locked.ok()) << locked.error().message;
    EXPECT_EQ(locked.value().attributes, std::uint32_t{AttrReadOnly | AttrArchive});

    auto hidden = fs_.findEntry(write(".hidden", "x"));
    ASSERT_TRUE(hidden.ok()) << hidden.error().message;
    EXPECT_EQ(hidden.value().attributes, std::uint32_t{AttrHidden | AttrArchive});

    ASSERT_EQ(mkdir(path(".config").c_str(), 0755), 0);
    auto hiddenFolder = fs_.findEntry(path(".config") + "/");
    ASSERT_TRUE(hiddenFolder.ok()) << hiddenFolder.error().message;
    EXPECT_EQ(hiddenFolder.value().attributes, std::uint32_t{AttrHidden | AttrDirectory});

    auto missing = fs_.findEntry(path("missing"));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
}

TEST_F(LocalFileSystemTest, FileExistsAndDirectoryExistsTellFilesFromFolders) {
    const std::string file = write("prog.exe", "x");
    EXPECT_TRUE(fs_.fileExists(file));
    EXPECT_FALSE(fs_.directoryExists(file));
    EXPECT_FALSE(fs_.fileExists(root_));
    EXPECT_TRUE(fs_.directoryExists(root_));
    EXPECT_FALSE(fs_.fileExists(path("missing")));
    EXPECT_FALSE(fs_.directoryExists(path("missing")));
    EXPECT_FALSE(fs_.fileExists(""));
    EXPECT_FALSE(fs_.directoryExists(""));
}

TEST_F(LocalFileSystemTest, BackslashesReachTheLocalFile) {
    ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
    write("sub/prog.exe", "inside");
    const std::string windowsStyle = root_ + "\\sub\\prog.exe";
    auto read = fs_.readWholeFile(windowsStyle);
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(asString(read.value()), "inside");
    EXPECT_TRUE(fs_.fileExists(windowsStyle));
    EXPECT_TRUE(fs_.directoryExists(root_ + "\\sub"));
    auto entry = fs_.findEntry(windowsStyle);
    ASSERT_TRUE(entry.ok()) << entry.error().message;
    EXPECT_EQ(entry.value().size, 6u);
}

TEST_F(LocalFileSystemTest, NamesReachTheFileSystemByteForByte) {
    // "čvor" in UTF-8 followed by bytes that are not UTF-8 at all.
    const std::string name = "\xC4\x8Dvor\xFF\xFE.bin";
    const int fd = open(path(name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "abc", 3), 3);
    close(fd);

    EXPECT_TRUE(fs_.fileExists(path(name)));
    EXPECT_FALSE(fs_.fileExists(path("\xC4\x8Dvor\xFF\xFD.bin")));
    auto read = fs_.readWholeFile(path(name));
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(asString(read.value()), "abc");
}

TEST(FileSystemRouterTest, LocalPathsGoToTheLocalFileSystem) {
    EXPECT_EQ(&fileSystemFor("/srv/app/prog.exe"), &localFileSystem());
    EXPECT_EQ(&fileSystemFor("C:\\rel\\prog.exe"), &localFileSystem());
    EXPECT_EQ(&fileSystemFor("\\single\\prog.exe"), &localFileSystem());
}

TEST(FileSystemRouterTest, NetworkSharesGoToTheirOwnFileSystem) {
    FileSystem& network = fileSystemFor("\\\\host\\share\\x");
    EXPECT_NE(&network, &localFileSystem());
    EXPECT_EQ(&fileSystemFor("//host/share/x"), &localFileSystem());
}

TEST_F(LocalFileSystemTest, DevicesHaveNoWholeContent) {
    // /dev/zero never ends: reading it whole would fill the memory.
    auto device = fs_.readWholeFile("/dev/zero");
    ASSERT_FALSE(device.ok());
    EXPECT_EQ(device.error().code, EINVAL);
}

TEST_F(LocalFileSystemTest, FileLargerThanTheMemoryIsAnErrorNotACrash) {
    if (testsupport::kAddressSanitizer)
        GTEST_SKIP() << "AddressSanitizer maps terabytes of shadow memory, so no process of this "
                        "build can run under the address-space cap this test needs";
    const std::string big = write("big.bin", "");
    ASSERT_EQ(::truncate(big.c_str(), 4LL << 30), 0); // sparse, 4 GiB
    // In a child whose address space is capped at 1 GiB the content cannot fit.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit cap{1LL << 30, 1LL << 30};
        ::setrlimit(RLIMIT_AS, &cap);
        auto content = fs_.readWholeFile(big);
        ::_exit(!content.ok() && content.error().code == ENOMEM && !content.error().message.empty()
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the read crashed the process";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(LocalFileSystemTest, CreateMakesOrTruncatesTheFile) {
    const std::string old = write("prog.exe", "an older and much longer content");
    auto file = fs_.createForWriting(old);
    ASSERT_TRUE(file.ok()) << file.error().message;
    ASSERT_TRUE(putAll(*file.value(), "new"));
    ASSERT_TRUE(file.value()->close().ok());
    EXPECT_EQ(contentOf(old), "new");
    EXPECT_TRUE(file.value()->close().ok()) << "a second close is a no-op";
    EXPECT_FALSE(file.value()->write("x", 1).ok());

    auto fresh = fs_.createForWriting(root_ + "\\fresh.exe");
    ASSERT_TRUE(fresh.ok()) << fresh.error().message;
    EXPECT_TRUE(fs_.fileExists(path("fresh.exe")));
    fresh.value().reset(); // closes the file: it can be opened again
    EXPECT_TRUE(writeAll(fs_.createForWriting(path("fresh.exe")), "x"));

    auto orphan = fs_.createForWriting(path("missing/prog.exe"));
    ASSERT_FALSE(orphan.ok());
    EXPECT_EQ(orphan.error().code, ENOENT);
}

TEST_F(LocalFileSystemTest, AFileOpenForWritingIsSharedWithNobody) {
    const std::string file = path("prog.exe");
    auto first = fs_.createForWriting(file);
    ASSERT_TRUE(first.ok()) << first.error().message;
    ASSERT_TRUE(putAll(*first.value(), "first writer "));

    auto second = fs_.createForWriting(file);
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error().code, EBUSY);
    auto reopened = fs_.reopenForWriting(file, 0);
    ASSERT_FALSE(reopened.ok());
    EXPECT_EQ(reopened.error().code, EBUSY);

    // Had the second opener cut the file, the first writer's data would have a hole.
    ASSERT_TRUE(putAll(*first.value(), "keeps its data"));
    ASSERT_TRUE(first.value()->close().ok());
    EXPECT_EQ(contentOf(file), "first writer keeps its data");
    EXPECT_TRUE(writeAll(fs_.reopenForWriting(file, 0), "F"));
}

TEST_F(LocalFileSystemTest, ReopenContinuesAtTheOffset) {
    const std::string file = path("prog.exe");
    ASSERT_TRUE(writeAll(fs_.createForWriting(file), "abc"));
    ASSERT_TRUE(writeAll(fs_.reopenForWriting(file, 3), "def"));
    EXPECT_EQ(contentOf(file), "abcdef");
    ASSERT_TRUE(writeAll(fs_.reopenForWriting(file, 1), "X"));
    EXPECT_EQ(contentOf(file), "aXcdef");

    const std::uint64_t fiveGiB = std::uint64_t{5} << 30;
    ASSERT_TRUE(writeAll(fs_.reopenForWriting(file, fiveGiB), "z"));
    auto entry = fs_.findEntry(file);
    ASSERT_TRUE(entry.ok()) << entry.error().message;
    EXPECT_EQ(entry.value().size, fiveGiB + 1);

    auto missing = fs_.reopenForWriting(path("missing.exe"), 0);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_FALSE(fs_.fileExists(path("missing.exe")));
}

TEST_F(LocalFileSystemTest, RenameNeverReplaces) {
    const std::string from = write("new.exe", "new");
    const std::string taken = write("prog.exe", "old");
    ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);

    for (const std::string& target : {taken, path("folder")}) {
        Status renamed = fs_.renameNoReplace(from, target);
        ASSERT_FALSE(renamed.ok()) << target;
        EXPECT_EQ(renamed.error().code, EEXIST) << target;
    }
    EXPECT_EQ(contentOf(from), "new");
    EXPECT_EQ(contentOf(taken), "old");
    EXPECT_TRUE(fs_.directoryExists(path("folder")));

    Status renamed = fs_.renameNoReplace(root_ + "\\new.exe", root_ + "\\free.exe");
    ASSERT_TRUE(renamed.ok()) << renamed.error().message;
    EXPECT_FALSE(fs_.fileExists(from));
    EXPECT_EQ(contentOf(path("free.exe")), "new");
}

TEST_F(LocalFileSystemTest, DeleteRemovesFilesButNotFolders) {
    const std::string file = write("prog.exe", "x");
    Status deleted = fs_.deleteFile(file);
    ASSERT_TRUE(deleted.ok()) << deleted.error().message;
    EXPECT_FALSE(fs_.fileExists(file));

    ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
    EXPECT_FALSE(fs_.deleteFile(path("folder")).ok());
    EXPECT_TRUE(fs_.directoryExists(path("folder")));

    Status missing = fs_.deleteFile(file);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
}

TEST_F(LocalFileSystemTest, LastWriteTimeRoundTripsThroughTheEntry) {
    const std::string file = write("prog.exe", "x");
    const std::time_t accessed = 1000000000;
    const timeval times[2] = {{accessed, 0}, {accessed, 0}};
    ASSERT_EQ(utimes(file.c_str(), times), 0);

    const DosTime stamp = packDosTime({2009, 11, 5, 14, 3, 8});
    Status set = fs_.setLastWriteTime(file, stamp);
    ASSERT_TRUE(set.ok()) << set.error().message;
    auto entry = fs_.findEntry(file);
    ASSERT_TRUE(entry.ok()) << entry.error().message;
    EXPECT_EQ(entry.value().time, stamp);
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_atime, accessed) << "the last access is not touched";

    Status missing = fs_.setLastWriteTime(path("missing.exe"), stamp);
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
}

TEST_F(LocalFileSystemTest, WriteReportsAFullDiskAndAShortCount) {
    if (access("/dev/full", W_OK) == 0) {
        // /dev/full takes no byte at all.
        auto full = fs_.createForWriting("/dev/full");
        ASSERT_TRUE(full.ok()) << full.error().message;
        auto put = full.value()->write("abc", 3);
        ASSERT_FALSE(put.ok());
        EXPECT_EQ(put.error().code, ENOSPC);
    }

    // In a child whose files may hold 10 bytes, 16 asked are 10 written; the
    // next write fails.
    const std::string file = path("prog.exe");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{10, 10};
        ::setrlimit(RLIMIT_FSIZE, &cap);
        auto opened = fs_.createForWriting(file);
        if (!opened.ok())
            ::_exit(2);
        auto first = opened.value()->write("0123456789abcdef", 16);
        auto second = opened.value()->write("x", 1);
        ::_exit(first.ok() && first.value() == 10 && !second.ok() && second.error().code == EFBIG
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(contentOf(file), "0123456789");
}

} // namespace
} // namespace velmora::platform
