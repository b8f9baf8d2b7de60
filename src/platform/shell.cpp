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
#include "smb/smburl.h"

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

std::string openerArgument(const std::string& path) {
    if (isNetworkPath(path))
        return smb::smbUrlFor(path).value_or("smb://");
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
