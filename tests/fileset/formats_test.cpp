#include "app/formats.h"

#include "platform/dostime.h"

#include <gtest/gtest.h>

using namespace velmora::app;

class Formats : public ::testing::Test {
protected:
    void SetUp() override { applyProgramFormats(); }
};

TEST_F(Formats, DateTextUsesDotsAndLeadingZeros) {
    EXPECT_EQ(dateText(QDate(2009, 11, 5)), "2009.11.05");
    EXPECT_EQ(dateText(QDate(2026, 1, 31)), "2026.01.31");
}

TEST_F(Formats, DateTimeTextLeavesOutMidnight) {
    EXPECT_EQ(dateTimeText(QDateTime(QDate(2009, 11, 5), QTime(0, 0, 0))), "2009.11.05");
    EXPECT_EQ(dateTimeText(QDateTime(QDate(2009, 11, 5), QTime(9, 5, 7))), "2009.11.05 09:05:07");
    EXPECT_EQ(dateTimeText(QDateTime(QDate(2009, 11, 5), QTime(0, 0, 1))), "2009.11.05 00:00:01");
    EXPECT_EQ(dateTimeText(QDateTime(QDate(2009, 11, 5), QTime(23, 59, 59))),
              "2009.11.05 23:59:59");
}

TEST_F(Formats, FormatLettersAndSeparators) {
    const QDateTime t(QDate(2009, 3, 4), QTime(7, 8, 9));
    EXPECT_EQ(formatDateTime("yyyy/mm/dd hh:nn:ss", t), "2009.03.04 07:08:09");
    EXPECT_EQ(formatDateTime("d/m/yy h:n:s", t), "4.3.09 7:8:9");
    EXPECT_EQ(formatDateTime(formatSettings().shortTimeFormat, t), "07:08");
}

TEST_F(Formats, PackedStampAsDateTimeText) {
    using velmora::platform::packDosTime;
    EXPECT_EQ(dateTimeText(packDosTime({2009, 11, 5, 14, 3, 7})), "2009.11.05 14:03:06");
    EXPECT_EQ(dateTimeText(packDosTime({2009, 11, 5, 0, 0, 1})), "2009.11.05");
}

TEST(ElapsedTimeText, PlainNumbersAndUnpaddedMilliseconds) {
    EXPECT_EQ(elapsedTimeText(67'045), "OK (0h 1min 7.45sec)");
    EXPECT_EQ(elapsedTimeText(2'045), "OK (0h 0min 2.45sec)");
    EXPECT_EQ(elapsedTimeText(1'005), "OK (0h 0min 1.5sec)");
    EXPECT_EQ(elapsedTimeText(0), "OK (0h 0min 0.0sec)");
    EXPECT_EQ(elapsedTimeText(3'723'456), "OK (1h 2min 3.456sec)");
}

TEST(ElapsedTimeText, WholeDaysAreDropped) {
    constexpr std::int64_t day = 24LL * 3600 * 1000;
    EXPECT_EQ(elapsedTimeText(day + 61'001), "OK (0h 1min 1.1sec)");
    EXPECT_EQ(elapsedTimeText(day - 1), "OK (23h 59min 59.999sec)");
}
