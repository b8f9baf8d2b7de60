#pragma once

#include <chrono>
#include <cstdint>

namespace velmora::batch {

// The time since start, rounded to whole milliseconds. Measured on the steady
// clock, so that a change of the wall clock (daylight saving, a time sync)
// does not make a copy look hours long or negative.
inline std::int64_t
elapsedMilliseconds(std::chrono::steady_clock::time_point start,
                    std::chrono::steady_clock::time_point end = std::chrono::steady_clock::now()) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(end - start).count();
    return (micros + 500) / 1000;
}

} // namespace velmora::batch
