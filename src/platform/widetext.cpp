#include "widetext.h"

#ifdef _WIN32

#include <windows.h>

#include <vector>

namespace velmora::platform::win32 {

namespace {

// Paths from this length on get the long form: CreateDirectory's limit is
// MAX_PATH less room for an 8.3 name, and a file name is joined on later.
constexpr std::size_t kLongPathFrom = MAX_PATH - 12;

std::wstring converted(UINT codePage, DWORD flags, std::string_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
    return wide;
}

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

std::wstring wideText(std::string_view text) {
    if (text.empty())
        return {};
    std::wstring wide = converted(CP_UTF8, MB_ERR_INVALID_CHARS, text);
    if (!wide.empty())
        return wide;
    return converted(CP_ACP, 0, text);
}

std::wstring widePath(const std::string& path) {
    std::wstring wide = wideText(path);
    if (wide.size() < kLongPathFrom || startsWith(wide, L"\\\\?\\"))
        return wide;
    // The long form is taken as written: no "/" is turned into "\" and no "."
    // or ".." is resolved, so the full path is made first.
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return wide;
    std::vector<wchar_t> full(needed);
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return wide;
    const std::wstring absolute(full.data(), length);
    if (startsWith(absolute, L"\\\\"))
        return L"\\\\?\\UNC\\" + absolute.substr(2);
    return L"\\\\?\\" + absolute;
}

std::string utf8Text(std::wstring_view text) {
    if (text.empty())
        return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

} // namespace velmora::platform::win32

#endif
