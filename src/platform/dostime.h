#pragma once

#include <cstdint>
#include <ctime>

// The packed MS-DOS date and time that the program keeps for a file's last
// write: in local time, in two-second steps.
//   high 16 bits: day (bits 0-4), month (5-8), years since 1980 (9-15)
//   low 16 bits:  seconds / 2 (bits 0-4), minutes (5-10), hours (11-15)
namespace velmora::platform {

using DosTime = std::uint32_t;

struct LocalDateTime {
    int year = 1980;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..59
};

// Packs a local date and time; odd seconds are rounded down to the two-second
// step. Years before 1980 pack as 1980-01-01 00:00:00, after 2107 as the last
// representable moment.
DosTime packDosTime(const LocalDateTime& t);
// The fields as stored, without any check.
LocalDateTime unpackDosTime(DosTime packed);

// A moment of the system clock (seconds since 1970 UTC) as the packed local time
// of that moment, using the time-zone rules in force on that date.
DosTime dosTimeFromUnixTime(std::time_t utcSeconds);
// The packed local time back as a system clock moment. A local time that the
// clocks skipped (the hour of a spring daylight-saving change) is taken as the
// moment one hour later, as the C library normalises it; one that occurred
// twice (the hour of an autumn change) is taken as one of the two moments, as the
// C library chooses.
std::time_t unixTimeFromDosTime(DosTime packed);

} // namespace velmora::platform
