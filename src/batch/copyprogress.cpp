#include "batch/copyprogress.h"

#include <cmath>

namespace velmora::batch {

namespace {
// Rounds to the nearest whole number, halves to even, whatever rounding mode
// the thread was left in.
long long roundHalfToEven(double value) {
    const double down = std::floor(value);
    const double fraction = value - down;
    if (fraction > 0.5)
        return static_cast<long long>(down) + 1;
    if (fraction < 0.5)
        return static_cast<long long>(down);
    const auto lower = static_cast<long long>(down);
    return lower % 2 == 0 ? lower : lower + 1;
}
} // namespace

int progressPercent(double copiedBytes, std::uint64_t totalBytes) {
    if (totalBytes == 0)
        return 100;
    return static_cast<int>(roundHalfToEven(copiedBytes / static_cast<double>(totalBytes) * 100));
}

QString progressKilobytes(double copiedBytes, std::uint64_t totalBytes) {
    return QStringLiteral("%1 od %2 KB")
        .arg(roundHalfToEven(copiedBytes / 1024))
        .arg(roundHalfToEven(static_cast<double>(totalBytes) / 1024));
}

} // namespace velmora::batch
