#include "dostime.h"

#include <algorithm>

namespace velmora::platform {

namespace {

constexpr int firstYear = 1980;
constexpr int lastYear = 2107;

// 2107-12-31 23:59:58, the last moment the layout can hold.
constexpr LocalDateTime lastMoment{lastYear, 12, 31, 23, 59, 58};

bool localTime(std::time_t utcSeconds, std::tm& out) {
#ifdef _WIN32
    return localtime_s(&out, &utcSeconds) == 0;
#else
    return localtime_r(&utcSeconds, &out) != nullptr;
#endif
}

} // namespace

DosTime packDosTime(const LocalDateTime& t) {
    if (t.year < firstYear)
        return packDosTime(LocalDateTime{});
    const LocalDateTime& v = t.year > lastYear ? lastMoment : t;
    // Each field is kept inside its bits so a bad value cannot spill into the next.
    const auto month = static_cast<DosTime>(std::clamp(v.month, 1, 12));
    const auto day = static_cast<DosTime>(std::clamp(v.day, 1, 31));
    const auto hour = static_cast<DosTime>(std::clamp(v.hour, 0, 23));
    const auto minute = static_cast<DosTime>(std::clamp(v.minute, 0, 59));
    const auto second = static_cast<DosTime>(std::clamp(v.second, 0, 59));
    const auto date = (static_cast<DosTime>(v.year - firstYear) << 9) | (month << 5) | day;
    const auto time = (hour << 11) | (minute << 5) | (second / 2);
    return (date << 16) | time;
}

LocalDateTime unpackDosTime(DosTime packed) {
    const DosTime date = packed >> 16;
    const DosTime time = packed & 0xFFFFu;
    LocalDateTime t;
    t.year = firstYear + static_cast<int>(date >> 9);
    t.month = static_cast<int>((date >> 5) & 0x0Fu);
    t.day = static_cast<int>(date & 0x1Fu);
    t.hour = static_cast<int>(time >> 11);
    t.minute = static_cast<int>((time >> 5) & 0x3Fu);
    t.second = static_cast<int>(time & 0x1Fu) * 2;
    return t;
}

DosTime dosTimeFromUnixTime(std::time_t utcSeconds) {
    std::tm local{};
    if (!localTime(utcSeconds, local))
        return packDosTime(LocalDateTime{});
    return packDosTime(LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                     local.tm_hour, local.tm_min, local.tm_sec});
}

std::time_t unixTimeFromDosTime(DosTime packed) {
    const LocalDateTime t = unpackDosTime(packed);
    std::tm local{};
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1; // let the time-zone rules of that date decide
    return std::mktime(&local);
}

} // namespace velmora::platform
