#include "result.h"

#ifdef _WIN32
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

} // namespace

Error systemError(int code) {
    std::string message;
#ifdef _WIN32
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (length != 0 && buffer != nullptr)
        message = trimmed(std::string(buffer, length));
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
