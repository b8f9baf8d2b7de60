#include "fileset/fileset.h"

#include "app/formats.h"
#include "platform/dostime.h"
#include "support/filecontent.h"
#include "support/tempfolder.h"

#include <gtest/gtest.h>

using velmora::fileset::FileSet;
using velmora::testsupport::TempFolder;

namespace {

// Sets a file's last-write time to a local date and time.
void setLocalModificationTime(const std::string& path, int year, int month, int day, int hour,
                              int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    ASSERT_TRUE(velmora::testsupport::setModified(path, std::mktime(&tm))) << path;
}

class FileSetTest : public ::testing::Test {
protected:
    void SetUp() override { velmora::app::applyProgramFormats(); }
    TempFolder dir;
    FileSet set;
};

} // namespace

TEST_F(FileSetTest, AddHoldsContentTimeStampAndSizeLine) {
    const std::string path = dir.write("prog.exe", QByteArray(1023, 'x'));
    setLocalModificationTime(path, 2009, 11, 5, 14, 3, 7);

    auto added = set.add(path);
    ASSERT_TRUE(added.ok());
    EXPECT_EQ(added.value(), FileSet::AddOutcome::Held);
    EXPECT_TRUE(set.isHeld());
    EXPECT_EQ(set.path(), path);
    ASSERT_TRUE(set.image());
    EXPECT_EQ(set.image()->size(), 1023u);
    // Kilobytes are truncated; the time stamp is kept in two-second steps.
    EXPECT_EQ(set.sizeLine(), "Veličina fajla: 0 KB - 2009.11.05 14:03:06");
    ASSERT_TRUE(set.heldTime().has_value());
    EXPECT_EQ(*set.heldTime(), velmora::platform::packDosTime({2009, 11, 5, 14, 3, 6}));
}

TEST_F(FileSetTest, SizeLineOfLargerFilesAndMidnight) {
    const std::string path = dir.write("big.bin", QByteArray(5 * 1024 + 1023, '\0'));
    setLocalModificationTime(path, 2010, 1, 2, 0, 0, 0);
    ASSERT_TRUE(set.add(path).ok());
    EXPECT_EQ(set.sizeLine(), "Veličina fajla: 5 KB - 2010.01.02");
}

TEST_F(FileSetTest, UnreadableFileIsNotHeld) {
    auto added = set.add(dir.file("missing.exe"));
    ASSERT_FALSE(added.ok());
    EXPECT_FALSE(added.error().message.empty());
    EXPECT_FALSE(set.isHeld());
    EXPECT_FALSE(set.image());
    EXPECT_TRUE(set.sizeLine().isEmpty());
}

TEST_F(FileSetTest, ContentIsWhatWasReadAtAdd) {
    const std::string path = dir.write("prog.exe", "first version");
    ASSERT_TRUE(set.add(path).ok());
    dir.write("prog.exe", "second, longer version");
    EXPECT_EQ(std::string(set.image()->begin(), set.image()->end()), "first version");
}

TEST_F(FileSetTest, ClearReleasesTheSetButNotAnImageStillInUse) {
    const std::string path = dir.write("prog.exe", "payload");
    ASSERT_TRUE(set.add(path).ok());
    const auto heldTime = set.heldTime();
    const velmora::fileset::FileImage inUse = set.image();

    set.clear();
    EXPECT_FALSE(set.isHeld());
    EXPECT_FALSE(set.image());
    EXPECT_TRUE(set.sizeLine().isEmpty());
    EXPECT_TRUE(set.path().empty());
    // The held time stamp keeps its last value after Clear.
    EXPECT_EQ(set.heldTime(), heldTime);
    // Whoever still holds the image reads the same bytes.
    EXPECT_EQ(std::string(inUse->begin(), inUse->end()), "payload");
}
