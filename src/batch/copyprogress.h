#pragma once

#include <QString>

#include <cstdint>

namespace velmora::batch {

// The copy progress shown in a row: whole numbers rounded to the nearest, halves
// to even. An empty file counts as complete: there is nothing left to send.
int progressPercent(double copiedBytes, std::uint64_t totalBytes);
// "<copied KB> od <total KB> KB"
QString progressKilobytes(double copiedBytes, std::uint64_t totalBytes);

} // namespace velmora::batch
