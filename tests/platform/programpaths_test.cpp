#include "platform/programpaths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace velmora::platform {
namespace {

TEST(ProgramPathsTest, ExecutableFolderHoldsTheRunningProgram) {
    const std::string folder = executableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_EQ(folder.back(), '/');

    // The file of this test program, by the name it was started with, is in the folder.
    std::string name = program_invocation_name;
    name = name.substr(name.rfind('/') + 1);
    struct stat inFolder {};
    struct stat running {};
    ASSERT_EQ(stat((folder + name).c_str(), &inFolder), 0) << folder + name;
    ASSERT_EQ(stat("/proc/self/exe", &running), 0);
    EXPECT_EQ(inFolder.st_dev, running.st_dev);
    EXPECT_EQ(inFolder.st_ino, running.st_ino);
}

// Sets TMPDIR for one test and puts it back after.
class TempFolderTest : public testing::Test {
protected:
    void SetUp() override {
        if (const char* value = std::getenv("TMPDIR"))
            saved_ = value;
    }
    void TearDown() override {
        if (saved_)
            setenv("TMPDIR", saved_->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(TempFolderTest, HonoursTmpdirWithOrWithoutTrailingSlash) {
    setenv("TMPDIR", "/var/tmp/velmora", 1);
    EXPECT_EQ(userTempFolder(), "/var/tmp/velmora/");
    setenv("TMPDIR", "/var/tmp/velmora/", 1);
    EXPECT_EQ(userTempFolder(), "/var/tmp/velmora/");
}

TEST_F(TempFolderTest, FallsBackToTmp) {
    unsetenv("TMPDIR");
    EXPECT_EQ(userTempFolder(), "/tmp/");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(userTempFolder(), "/tmp/");
}

} // namespace
} // namespace velmora::platform
