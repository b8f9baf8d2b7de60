#pragma once

#include "platform/result.h"

#include <string>
#include <vector>

namespace velmora::cli {

// Rows picked by number, as --rows gives them: "3,5-9". Rows are numbered
// from 1, as the lines of the server list.
struct RowRange {
    int first = 0;
    int last = 0;
};
using RowRanges = std::vector<RowRange>;

// Parses "N" and "N-M" items joined by commas; an error in plain words for
// anything else (a zero, a range that runs backwards, a blank item).
platform::Result<RowRanges> parseRowRanges(const std::string& text);

bool containsRow(const RowRanges& ranges, int row);
// The highest row named; 0 for none.
int highestRow(const RowRanges& ranges);

} // namespace velmora::cli
