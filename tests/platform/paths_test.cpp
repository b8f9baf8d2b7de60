#include "platform/paths.h"

#include <gtest/gtest.h>

namespace velmora::platform {
namespace {

TEST(PathsTest, DelimitersOfThisSystem) {
    EXPECT_TRUE(isPathDelimiter('\\'));
    // "/" separates on Windows too, as the system itself takes it: Qt gives
    // paths such as "C:/rel/prog.exe", and no Windows name holds a "/".
    EXPECT_TRUE(isPathDelimiter('/'));
#ifdef _WIN32
    EXPECT_TRUE(isPathDelimiter(':'));
#else
    EXPECT_FALSE(isPathDelimiter(':'));
#endif
    EXPECT_FALSE(isPathDelimiter('.'));
}

TEST(PathsTest, NetworkPathNeedsTwoLeadingBackslashes) {
    EXPECT_TRUE(isNetworkPath("\\\\srv01\\app"));
    EXPECT_TRUE(isNetworkPath("\\\\"));
    EXPECT_FALSE(isNetworkPath("\\srv01\\app"));
    EXPECT_FALSE(isNetworkPath("//srv01/app"));
    EXPECT_FALSE(isNetworkPath("C:\\\\app"));
    EXPECT_FALSE(isNetworkPath("\\"));
    EXPECT_FALSE(isNetworkPath(""));
}

TEST(PathsTest, SplitsAtTheLastDelimiter) {
    EXPECT_EQ(folderPart("/home/ana/prog.exe"), "/home/ana/");
    EXPECT_EQ(fileNamePart("/home/ana/prog.exe"), "prog.exe");
    EXPECT_EQ(folderPart("\\\\srv\\share\\x"), "\\\\srv\\share\\");
    EXPECT_EQ(fileNamePart("\\\\srv\\share\\x"), "x");
    // A dot in a folder name does not count as an extension or a delimiter.
    EXPECT_EQ(fileNamePart("/opt/v1.2/prog"), "prog");
}

TEST(PathsTest, NoDelimiterAndEmptyInput) {
    EXPECT_EQ(folderPart("prog.exe"), "");
    EXPECT_EQ(fileNamePart("prog.exe"), "prog.exe");
    EXPECT_EQ(folderWithoutTrailingDelimiter("prog.exe"), "");
    EXPECT_EQ(folderPart(""), "");
    EXPECT_EQ(fileNamePart(""), "");
    EXPECT_EQ(folderWithoutTrailingDelimiter(""), "");
}

TEST(PathsTest, TrailingSeparatorLeavesAnEmptyName) {
    EXPECT_EQ(folderPart("/srv/app/"), "/srv/app/");
    EXPECT_EQ(fileNamePart("/srv/app/"), "");
    EXPECT_EQ(folderWithoutTrailingDelimiter("/srv/app/"), "/srv/app");
    EXPECT_EQ(fileNamePart("\\\\srv\\share\\"), "");
    EXPECT_EQ(folderWithoutTrailingDelimiter("\\\\srv\\share\\"), "\\\\srv\\share");
}

TEST(PathsTest, FolderWithoutTrailingDelimiterKeepsRoots) {
    EXPECT_EQ(folderWithoutTrailingDelimiter("C:\\prog.exe"), "C:\\");
    EXPECT_EQ(folderWithoutTrailingDelimiter("C:\\Verzije\\prog.exe"), "C:\\Verzije");
    EXPECT_EQ(folderWithoutTrailingDelimiter("/prog.exe"), "/");
    EXPECT_EQ(folderWithoutTrailingDelimiter("/home/ana/prog.exe"), "/home/ana");
    EXPECT_EQ(folderWithoutTrailingDelimiter("\\prog.exe"), "\\");
    // A delimiter after another one stays: "\\" of a share, "//" inside a path.
    EXPECT_EQ(folderWithoutTrailingDelimiter("\\\\srv"), "\\\\");
    EXPECT_EQ(folderWithoutTrailingDelimiter("/home//prog.exe"), "/home//");
}

#ifndef _WIN32
TEST(PathsTest, WindowsRowsOnLinux) {
    // "\" separates on Linux too; ":" is an ordinary character.
    EXPECT_EQ(fileNamePart("C:\\rel\\prog.exe"), "prog.exe");
    EXPECT_EQ(folderPart("C:\\rel\\prog.exe"), "C:\\rel\\");
    EXPECT_EQ(folderPart("C:prog.exe"), "");
    EXPECT_EQ(fileNamePart("C:prog.exe"), "C:prog.exe");
    // Mixed separators: the last one of either kind ends the folder.
    EXPECT_EQ(fileNamePart("/srv/app\\sub/prog.exe"), "prog.exe");
    EXPECT_EQ(fileNamePart("/srv/app/sub\\prog.exe"), "prog.exe");
}

TEST(PathsTest, JoinUsesTheSeparatorOfTheRow) {
    EXPECT_EQ(joinPath("/srv/app", "prog.exe"), "/srv/app/prog.exe");
    EXPECT_EQ(joinPath("\\\\srv01\\app", "prog.exe"), "\\\\srv01\\app\\prog.exe");
    // A local Windows-style row is local on Linux, so it gets "/".
    EXPECT_EQ(joinPath("C:\\rel", "prog.exe"), "C:\\rel/prog.exe");
    // Joined as they stand: a trailing separator is not removed.
    EXPECT_EQ(joinPath("/srv/app/", "prog.exe"), "/srv/app//prog.exe");
    EXPECT_EQ(joinPath("\\\\srv01\\app\\", "prog.exe"), "\\\\srv01\\app\\\\prog.exe");
}

TEST(PathsTest, LocalSystemPathTurnsBackslashesIntoSlashes) {
    EXPECT_EQ(localSystemPath("C:\\rel\\prog.exe"), "C:/rel/prog.exe");
    EXPECT_EQ(localSystemPath("/srv/app\\sub\\prog.exe"), "/srv/app/sub/prog.exe");
    EXPECT_EQ(localSystemPath("\\\\srv\\share"), "//srv/share");
    EXPECT_EQ(localSystemPath("/plain/path"), "/plain/path");
    EXPECT_EQ(localSystemPath(""), "");
}
#else
TEST(PathsTest, DriveColonEndsTheFolderOnWindows) {
    EXPECT_EQ(folderPart("C:prog.exe"), "C:");
    EXPECT_EQ(fileNamePart("C:prog.exe"), "prog.exe");
    EXPECT_EQ(folderWithoutTrailingDelimiter("C:prog.exe"), "C:");
    EXPECT_EQ(fileNamePart("C:/rel/prog.exe"), "prog.exe");
    EXPECT_EQ(folderWithoutTrailingDelimiter("C:/rel/prog.exe"), "C:/rel");
    EXPECT_EQ(folderWithoutTrailingDelimiter("C:/prog.exe"), "C:/");
}

TEST(PathsTest, JoinAlwaysUsesBackslashOnWindows) {
    EXPECT_EQ(joinPath("C:\\rel", "prog.exe"), "C:\\rel\\prog.exe");
    EXPECT_EQ(joinPath("C:/rel", "prog.exe"), "C:/rel\\prog.exe");
    EXPECT_EQ(joinPath("\\\\srv01\\app", "prog.exe"), "\\\\srv01\\app\\prog.exe");
    EXPECT_EQ(localSystemPath("C:\\rel\\prog.exe"), "C:\\rel\\prog.exe");
}
#endif

} // namespace
} // namespace velmora::platform
