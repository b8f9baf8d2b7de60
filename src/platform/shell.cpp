#include "shell.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>
#ifdef _MSC_VER
#pragma comment(lib, "shell32.lib")
#endif
#else
#include "paths.h"
#include "process.h"

#include <cstdlib>
#endif

namespace velmora::platform {

#ifdef _WIN32

Status shellOpen(const std::string& path) {
    SetLastError(ERROR_SUCCESS);
    const HINSTANCE result =
        ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    const auto code = reinterpret_cast<INT_PTR>(result);
    if (code > 32)
        return {};
    // ShellExecute's own small codes match the system's for the common cases.
    const DWORD last = GetLastError();
    return systemError(last != ERROR_SUCCESS ? static_cast<int>(last) : static_cast<int>(code));
}

#else

namespace {

// The desktop's opener. VELMORA_OPENER names another program to use instead;
// the tests put a script there that records what it is handed.
std::string openerProgram() {
    const char* opener = std::getenv("VELMORA_OPENER");
    return opener != nullptr && *opener != '\0' ? opener : "xdg-open";
}

// Characters that a URL path may carry as they are.
bool isUrlSafe(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '/':
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
    case ':':
    case '@':
        return true;
    default:
        return false;
    }
}

// \\host\share\path as smb://host/share/path. Characters a URL cannot carry
// (a space, "#", "?", "%", bytes beyond ASCII) are percent-encoded, so that a
// folder named "a #2" is not cut short at "#".
std::string smbUrl(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "smb://";
    for (std::size_t i = 2; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i] == '\\' ? '/' : path[i]);
        if (isUrlSafe(c)) {
            url.push_back(static_cast<char>(c));
        } else {
            url.push_back('%');
            url.push_back(hex[c >> 4]);
            url.push_back(hex[c & 0x0F]);
        }
    }
    return url;
}

std::string openerArgument(const std::string& path) {
    if (isNetworkPath(path))
        return smbUrl(path);
    std::string local = localSystemPath(path);
    // The opener would take a leading "-" as an option of its own.
    if (!local.empty() && local[0] == '-')
        local.insert(0, "./");
    return local;
}

} // namespace

Status shellOpen(const std::string& path) {
    return startDetached(openerProgram(), {openerArgument(path)});
}

#endif

} // namespace velmora::platform
