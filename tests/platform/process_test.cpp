#include "platform/process.h"
#include "platform/shell.h"

#include "support/scratchfolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace velmora::platform {
namespace {

using namespace std::chrono_literals;

// A temporary folder with a script that waits, then writes each of its arguments
// after the first, NUL-terminated, to the file named by the first.
class DetachedStartTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(scratch_.path().empty()) << "mkdtemp: errno " << errno;
        root_ = scratch_.path();
        script_ = root_ + "/record.sh";
        writeScript(script_,
                    "out=$1; shift\n"
                    "sleep 1\n"
                    "printf '%s\\0' \"$@\" > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
        if (const char* opener = std::getenv("VELMORA_OPENER"))
            savedOpener_ = opener;
    }
    void TearDown() override {
        if (savedOpener_)
            setenv("VELMORA_OPENER", savedOpener_->c_str(), 1);
        else
            unsetenv("VELMORA_OPENER");
    }

    static void writeScript(const std::string& file, const std::string& body) {
        {
            std::ofstream out(file);
            out << "#!/bin/sh\n" << body;
        }
        ASSERT_EQ(chmod(file.c_str(), 0755), 0);
    }

    // The recorded arguments, once the script has written them (10 s at most).
    static std::optional<std::vector<std::string>> recorded(const std::string& file) {
        for (int i = 0; i < 200; ++i) {
            std::ifstream in(file, std::ios::binary);
            if (in) {
                std::vector<std::string> args;
                std::string arg;
                while (std::getline(in, arg, '\0'))
                    args.push_back(arg);
                return args;
            }
            std::this_thread::sleep_for(50ms);
        }
        return std::nullopt;
    }

    testsupport::ScratchFolder scratch_{"velmora-ps"};
    std::string root_;
    std::string script_;
    std::optional<std::string> savedOpener_;
};

TEST_F(DetachedStartTest, ArgumentsArriveUnchangedAndTheCallDoesNotWait) {
    const std::string out = root_ + "/args";
    const std::vector<std::string> args = {out, "-n", "a b \"c\" ; d 'e' $HOME `x`", "", "*"};
    const auto started = std::chrono::steady_clock::now();
    const Status status = startDetached(script_, args);
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(status.ok()) << status.error().message;
    EXPECT_LT(took, 500ms);

    // Neither the started program nor an intermediate process is left as our child.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    const auto got = recorded(out);
    ASSERT_TRUE(got.has_value()) << "the script did not run";
    EXPECT_EQ(*got, std::vector<std::string>(args.begin() + 1, args.end()));
}

TEST_F(DetachedStartTest, ProgramIsLookedUpOnPath) {
    const char* oldPath = std::getenv("PATH");
    const std::string saved = oldPath != nullptr ? oldPath : "";
    setenv("PATH", ("/nonexistent-velmora:" + root_ + ":" + saved).c_str(), 1);
    const std::string out = root_ + "/args";
    const Status status = startDetached("record.sh", {out, "x"});
    setenv("PATH", saved.c_str(), 1);
    ASSERT_TRUE(status.ok()) << status.error().message;
    const auto got = recorded(out);
    ASSERT_TRUE(got.has_value()) << "the script did not run";
    EXPECT_EQ(*got, std::vector<std::string>{"x"});
}

TEST_F(DetachedStartTest, MissingOrBrokenProgramIsAnError) {
    const Status missing = startDetached("velmora-no-such-program", {});
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_NE(missing.error().message.find("velmora-no-such-program"), std::string::npos);

    const Status missingPath = startDetached(root_ + "/nothing-here", {});
    ASSERT_FALSE(missingPath.ok());
    EXPECT_EQ(missingPath.error().code, ENOENT);

    // Executable bits but no format the system can run: the exec itself fails.
    const std::string broken = root_ + "/broken";
    {
        std::ofstream out(broken);
        out << "not a program\n";
    }
    ASSERT_EQ(chmod(broken.c_str(), 0755), 0);
    const Status failed = startDetached(broken, {});
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().code, ENOEXEC);
}

// Puts a recording opener in place of the desktop's one: each run appends the
// argument it is handed to a file.
class ShellOpenTest : public DetachedStartTest {
protected:
    void SetUp() override {
        DetachedStartTest::SetUp();
        out_ = root_ + "/opened";
        const std::string opener = root_ + "/opener.sh";
        writeScript(opener, "printf '%s\\0' \"$@\" >> '" + out_ + "'\n");
        setenv("VELMORA_OPENER", opener.c_str(), 1);
    }

    // The arguments of count runs, sorted (the runs may finish in any order).
    std::vector<std::string> opened(std::size_t count) const {
        std::vector<std::string> got;
        for (int i = 0; i < 200 && got.size() < count; ++i) {
            std::this_thread::sleep_for(50ms);
            got.clear();
            std::ifstream in(out_, std::ios::binary);
            std::string arg;
            while (std::getline(in, arg, '\0'))
                got.push_back(arg);
        }
        std::sort(got.begin(), got.end());
        return got;
    }

    std::string out_;
};

TEST_F(ShellOpenTest, LocalPathsArriveInTheLocalForm) {
    ASSERT_TRUE(shellOpen("/srv/app\\Verzija 2\\prog.exe").ok());
    // A leading "-" must not reach the opener as an option.
    ASSERT_TRUE(shellOpen("-v").ok());
    EXPECT_EQ(opened(2), (std::vector<std::string>{"./-v", "/srv/app/Verzija 2/prog.exe"}));
}

TEST_F(ShellOpenTest, NetworkPathsArriveAsSmbUrls) {
    ASSERT_TRUE(shellOpen("\\\\host\\share\\path").ok());
    ASSERT_TRUE(shellOpen("\\\\host\\share\\a b#2\\x%y").ok());
    EXPECT_EQ(opened(2), (std::vector<std::string>{"smb://host/share/a%20b%232/x%25y",
                                                   "smb://host/share/path"}));
}

TEST_F(DetachedStartTest, ShellOpenFailsWithoutAnOpener) {
    setenv("VELMORA_OPENER", "velmora-no-such-opener", 1);
    const Status status = shellOpen("/tmp");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.error().code, ENOENT);
}

} // namespace
} // namespace velmora::platform
