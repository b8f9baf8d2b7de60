#include "result.h"

#ifdef _WIN32
#include "widetext.h"

#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

namespace velmora::platform {

namespace {

#ifndef _WIN32
// strerror_r comes in two forms: the XSI one returns 0 and fills the buffer, the
// GNU one returns the text, which need not be in the buffer.
[[maybe_unused]] const char* errorText(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* errorText(const char* result, const char*) {
    return result;
}
#endif

// Drops the line break and final full stop that Windows puts after its messages,
// so the text can stand inside a sentence.
std::string trimmed(std::string text) {
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

#ifdef _WIN32
// Some of the system's texts have inserts for the name they are about ("%1 is
// not a valid Win32 application"). Without the name at hand each insert reads
// as an ellipsis; "%%" is a percent sign.
std::string withoutInserts(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] != '%' || (next != '%' && (next < '1' || next > '9'))) {
            plain += text[i];
            continue;
        }
        ++i;
        if (next == '%') {
            plain += '%';
            continue;
        }
        while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9')
            ++i;
        // A printf-style format of the insert: %1!d!
        if (i + 1 < text.size() && text[i + 1] == '!') {
            const std::size_t end = text.find('!', i + 2);
            if (end != std::string::npos)
                i = end;
        }
        plain += "\xE2\x80\xA6"; // "…"
    }
    return plain;
}
#endif

} // namespace

Error systemError(int code) {
    std::string message;
#ifdef _WIN32
    // In UTF-8, as every text of the platform layer on Windows (widetext.h).
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    if (length != 0 && buffer != nullptr)
        message = trimmed(withoutInserts(win32::utf8Text(std::wstring_view(buffer, length))));
    if (buffer != nullptr)
        LocalFree(buffer);
#else
    char buffer[256] = {};
    const char* text = errorText(strerror_r(code, buffer, sizeof buffer), buffer);
    if (text != nullptr)
        message = trimmed(text);
#endif
    if (message.empty())
        message = "System error " + std::to_string(code);
    return Error{code, std::move(message)};
}

Error lastSystemError() {
#ifdef _WIN32
    const int code = static_cast<int>(GetLastError());
#else
    const int code = errno;
#endif
    return systemError(code);
}

} // namespace velmora::platform
