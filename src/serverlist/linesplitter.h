#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::serverlist {

// Cuts the bytes of a server list file into lines. A line ends at CR, at LF or
// at the pair CR LF (one end); LF CR is two ends with an empty line between. A
// last line without an end is a line; an end at the very end starts no further
// line. A NUL byte ends the text. Nothing is trimmed or decoded: every line is
// returned byte for byte, and an empty line is a line.
std::vector<std::string> splitServerLines(std::string_view text);

} // namespace velmora::serverlist
