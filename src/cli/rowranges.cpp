#include "cli/rowranges.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

namespace velmora::cli {

namespace {

// A row number: ASCII digits only, from 1, within int.
std::optional<int> parseRowNumber(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < 1)
        return std::nullopt;
    return value;
}

platform::Error badRows(const std::string& text) {
    return platform::Error{0, "--rows takes row numbers from 1 and ranges joined by commas, "
                              "such as 3,5-9; not \"" +
                                  text + "\""};
}

} // namespace

platform::Result<RowRanges> parseRowRanges(const std::string& text) {
    RowRanges ranges;
    std::string_view rest(text);
    for (;;) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const std::size_t dash = item.find('-');
        const auto first = parseRowNumber(item.substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? first : parseRowNumber(item.substr(dash + 1));
        if (!first || !last || *last < *first)
            return badRows(text);
        ranges.push_back({*first, *last});
        if (comma == std::string_view::npos)
            return ranges;
        rest.remove_prefix(comma + 1);
    }
}

bool containsRow(const RowRanges& ranges, int row) {
    return std::any_of(ranges.begin(), ranges.end(),
                       [row](const RowRange& r) { return row >= r.first && row <= r.last; });
}

int highestRow(const RowRanges& ranges) {
    int highest = 0;
    for (const RowRange& r : ranges)
        highest = std::max(highest, r.last);
    return highest;
}

} // namespace velmora::cli
