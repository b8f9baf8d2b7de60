#pragma once

#ifdef _WIN32

#include <string>
#include <string_view>

// Windows keeps names and texts in UTF-16; the program keeps them in byte
// strings. The platform layer's byte strings on Windows are UTF-8, so that
// every name works, "čvor" as well as "чвор", whatever the ANSI code page.
// Bytes that are not UTF-8 (a caption read from a serveri.txt saved in the
// ANSI code page) are taken in the ANSI code page, as the system would take
// them.
namespace velmora::platform::win32 {

// The text in UTF-16: from UTF-8 where the bytes are UTF-8, else from the
// ANSI code page.
std::wstring wideText(std::string_view text);

// A path for the system's "W" calls: the text in UTF-16, and a path too long
// for the old limit (MAX_PATH) made absolute and given the "\\?\" form
// ("\\?\UNC\" for a network path) that lifts it.
std::wstring widePath(const std::string& path);

// UTF-16 from the system as UTF-8.
std::string utf8Text(std::wstring_view text);

} // namespace velmora::platform::win32

#endif
