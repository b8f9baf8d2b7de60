#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform {

// The name of the character set in which the system keeps plain text files
// such as serveri.txt: the ANSI code page on Windows ("windows-1250" on
// Serbian systems), the locale's character set on Linux ("UTF-8" normally).
std::string systemCharacterSet();

// True when the two names stand for the same character set: case, "-" and "_"
// do not count, and the plain C locale's ASCII counts as UTF-8 (its names are
// taken as UTF-8 everywhere in the program).
bool sameCharacterSet(const std::string& a, const std::string& b);

// True when the system can convert text from the named character set.
bool knownCharacterSet(const std::string& name);

// The text converted from one character set into another; none when it holds
// a byte sequence that is not valid in the first or a character that the second
// lacks. The same set on both sides gives the text unchanged. On Windows only
// that case converts: there every text of the program is in the ANSI code page.
std::optional<std::string> convertText(std::string_view text, const std::string& from,
                                       const std::string& to);

} // namespace velmora::platform
