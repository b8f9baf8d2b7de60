#include "platform/programpaths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <map>
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

// Sets TMPDIR and XDG_RUNTIME_DIR for one test and puts them back after.
class TempFolderTest : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVariables)
            if (const char* value = std::getenv(name))
                saved_[name] = value;
    }
    void TearDown() override {
        for (const char* name : kVariables) {
            if (saved_.count(name))
                setenv(name, saved_[name].c_str(), 1);
            else
                unsetenv(name);
        }
    }

private:
    static constexpr const char* kVariables[] = {"TMPDIR", "XDG_RUNTIME_DIR"};
    std::map<std::string, std::string> saved_;
};

TEST_F(TempFolderTest, HonoursTmpdirWithOrWithoutTrailingSlash) {
    setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    setenv("TMPDIR", "/var/tmp/velmora", 1);
    EXPECT_EQ(userTempFolder(), "/var/tmp/velmora/");
    setenv("TMPDIR", "/var/tmp/velmora/", 1);
    EXPECT_EQ(userTempFolder(), "/var/tmp/velmora/");
}

TEST_F(TempFolderTest, FallsBackToTheUsersRuntimeFolderThenToTmp) {
    unsetenv("TMPDIR");
    setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(userTempFolder(), "/run/user/1000/");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(userTempFolder(), "/tmp/");
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(userTempFolder(), "/tmp/");
}

} // namespace
} // namespace velmora::platform
