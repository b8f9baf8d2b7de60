#include "platform/dostime.h"
#include "platform/filesystem.h"
#include "platform/localfilesystem.h"

#include "support/scratchfolder.h"

#include <gtest/gtest.h>

#include <cerrno>
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

TEST(FileSystemRouterTest, NetworkSharesFailCleanly) {
    FileSystem& network = fileSystemFor("\\\\host\\share\\x");
    ASSERT_NE(&network, &localFileSystem());

    auto read = network.readWholeFile("\\\\host\\share\\x");
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.error().code, ENOTSUP);
    EXPECT_NE(read.error().message.find("\\\\host\\share"), std::string::npos)
        << read.error().message;

    auto entry = network.findEntry("\\\\host\\share\\x");
    ASSERT_FALSE(entry.ok());
    EXPECT_EQ(entry.error().code, ENOTSUP);

    EXPECT_FALSE(network.fileExists("\\\\host\\share\\x"));
    EXPECT_FALSE(network.directoryExists("\\\\host\\share"));
}

TEST_F(LocalFileSystemTest, DevicesHaveNoWholeContent) {
    // /dev/zero never ends: reading it whole would fill the memory.
    auto device = fs_.readWholeFile("/dev/zero");
    ASSERT_FALSE(device.ok());
    EXPECT_EQ(device.error().code, EINVAL);
}

TEST_F(LocalFileSystemTest, FileLargerThanTheMemoryIsAnErrorNotACrash) {
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

} // namespace
} // namespace velmora::platform
