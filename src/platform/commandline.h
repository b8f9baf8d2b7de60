#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// Splits a Windows-style parameter string into arguments: blanks and tabs
// separate arguments outside double quotes, a double quote begins or ends a
// quoted stretch and is dropped, and a backslash is always an ordinary
// character. So "C:\" "\\host\share" stays "C:\" and "\\host\share", as the
// copy tools read their paths; an empty quoted pair gives an empty argument.
std::vector<std::string> splitParameters(std::string_view parameters);

} // namespace velmora::platform
