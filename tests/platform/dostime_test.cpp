#include "platform/dostime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace velmora::platform {
namespace {

void expectFields(const LocalDateTime& t, int year, int month, int day, int hour, int minute,
                  int second) {
    EXPECT_EQ(t.year, year);
    EXPECT_EQ(t.month, month);
    EXPECT_EQ(t.day, day);
    EXPECT_EQ(t.hour, hour);
    EXPECT_EQ(t.minute, minute);
    EXPECT_EQ(t.second, second);
}

TEST(DosTimePackTest, BitLayout) {
    // date: (2009 - 1980) << 9 | 11 << 5 | 5 = 0x3A00 | 0x0160 | 0x05 = 0x3B65
    // time: 14 << 11 | 3 << 5 | 7 / 2 = 0x7000 | 0x0060 | 0x03 = 0x7063
    EXPECT_EQ(packDosTime({2009, 11, 5, 14, 3, 7}), 0x3B657063u);
    EXPECT_EQ(packDosTime({2009, 11, 5, 14, 3, 6}), 0x3B657063u);
    // Each field alone at the top of its range: 23:59:58 is 0xBF7D, 2107-12-31 0xFF9F.
    EXPECT_EQ(packDosTime({1980, 1, 1, 23, 59, 58}), 0x0021BF7Du);
    EXPECT_EQ(packDosTime({2107, 12, 31, 0, 0, 0}), 0xFF9F0000u);
}

TEST(DosTimePackTest, FirstMomentAndMidnight) {
    EXPECT_EQ(packDosTime({1980, 1, 1, 0, 0, 0}), 0x00210000u);
    EXPECT_EQ(packDosTime({2024, 2, 29, 0, 0, 0}) & 0xFFFFu, 0u);
    expectFields(unpackDosTime(packDosTime({2024, 2, 29, 0, 0, 0})), 2024, 2, 29, 0, 0, 0);
}

TEST(DosTimePackTest, ClampsOutsideTheRange) {
    EXPECT_EQ(packDosTime({1979, 12, 31, 23, 59, 59}), 0x00210000u);
    EXPECT_EQ(packDosTime({1900, 6, 15, 12, 0, 0}), 0x00210000u);
    EXPECT_EQ(packDosTime({2108, 1, 1, 0, 0, 0}), 0xFF9FBF7Du);
    EXPECT_EQ(packDosTime({2107, 12, 31, 23, 59, 59}), 0xFF9FBF7Du);
}

TEST(DosTimePackTest, UnpackRoundTrips) {
    const LocalDateTime samples[] = {
        {1980, 1, 1, 0, 0, 0},    {2009, 11, 5, 14, 3, 6},    {1999, 12, 31, 23, 59, 58},
        {2000, 2, 29, 12, 30, 0}, {2107, 12, 31, 23, 59, 58}, {2038, 1, 19, 3, 14, 8},
    };
    for (const LocalDateTime& t : samples) {
        SCOPED_TRACE(t.year);
        expectFields(unpackDosTime(packDosTime(t)), t.year, t.month, t.day, t.hour, t.minute,
                     t.second);
    }
    expectFields(unpackDosTime(packDosTime({2009, 11, 5, 14, 3, 7})), 2009, 11, 5, 14, 3, 6);
}

#ifndef _WIN32
// These set the C library's TZ to a zone name, which Windows' C runtime cannot
// read (it takes only "CET-1CEST" with the United States' change dates). On
// Windows a file's stamp goes through the system's own time-zone calls
// instead; WindowsFileSystemTest.LocalTimeOfAStampUsesTheOffsetOfItsOwnDate
// tests that in Belgrade's zone.

// Runs each test with the clocks of Belgrade (CET/CEST) and puts TZ back after.
class BelgradeTimeTest : public testing::Test {
protected:
    void SetUp() override {
        if (const char* tz = std::getenv("TZ"))
            saved_ = tz;
        setenv("TZ", "Europe/Belgrade", 1);
        tzset();
    }
    void TearDown() override {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

TEST_F(BelgradeTimeTest, SummerAndWinterOffsets) {
    // 2021-07-15 12:00:00 UTC is 14:00 summer time (UTC+2).
    expectFields(unpackDosTime(dosTimeFromUnixTime(1626350400)), 2021, 7, 15, 14, 0, 0);
    // 2021-01-15 12:00:00 UTC is 13:00 winter time (UTC+1).
    expectFields(unpackDosTime(dosTimeFromUnixTime(1610712000)), 2021, 1, 15, 13, 0, 0);
    EXPECT_EQ(unixTimeFromDosTime(packDosTime({2021, 7, 15, 14, 0, 0})), 1626350400);
    EXPECT_EQ(unixTimeFromDosTime(packDosTime({2021, 1, 15, 13, 0, 0})), 1610712000);
}

TEST_F(BelgradeTimeTest, SkippedSpringHourMovesOnAndStaysStable) {
    // On 2021-03-28 the clocks went from 02:00 straight to 03:00.
    const DosTime gap = packDosTime({2021, 3, 28, 2, 30, 0});
    const std::time_t moment = unixTimeFromDosTime(gap);
    EXPECT_EQ(moment, 1616895000); // 01:30 UTC, 03:30 summer time
    const DosTime repacked = dosTimeFromUnixTime(moment);
    expectFields(unpackDosTime(repacked), 2021, 3, 28, 3, 30, 0);
    EXPECT_EQ(dosTimeFromUnixTime(unixTimeFromDosTime(repacked)), repacked);
}

TEST_F(BelgradeTimeTest, SystemClockRoundTripWithinTwoSeconds) {
    // Around both changes of 2021 (outside the repeated autumn hour), odd seconds,
    // the first representable moments and a far date.
    const std::time_t moments[] = {
        1616893199, // 2021-03-28 00:59:59 UTC, the last second of winter time
        1616893200, // 2021-03-28 01:00:00 UTC, the first of summer time
        1635638399, // 2021-10-30 23:59:59 UTC, 01:59:59 summer time
        1635645600, // 2021-10-31 02:00:00 UTC, 03:00 winter time
        1257429787, // 2009-11-05 14:03:07 UTC, an odd second
        315532800,  // 1980-01-01 00:00:00 UTC, 01:00 local
        4102444799, // 2099-12-31 23:59:59 UTC
    };
    for (const std::time_t t : moments) {
        SCOPED_TRACE(t);
        const std::time_t back = unixTimeFromDosTime(dosTimeFromUnixTime(t));
        EXPECT_LE(back, t);
        EXPECT_LT(t - back, 2);
    }
}

TEST_F(BelgradeTimeTest, SystemClockBefore1980Clamps) {
    // 1979-12-31 22:59:59 UTC is still 1979 in Belgrade.
    EXPECT_EQ(dosTimeFromUnixTime(315529199), 0x00210000u);
    EXPECT_EQ(dosTimeFromUnixTime(0), 0x00210000u);
}

#endif

} // namespace
} // namespace velmora::platform
