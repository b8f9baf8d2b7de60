#include "programpaths.h"

#include <cstdlib>
#include <vector>

#ifdef _WIN32
#include "widetext.h"

#include <windows.h>
#else
#include <unistd.h>
#endif

namespace velmora::platform {

namespace {

#ifdef _WIN32
constexpr char separator = '\\';
#else
constexpr char separator = '/';
#endif

std::string withTrailingSeparator(std::string folder) {
    if (folder.empty() || folder.back() != separator)
        folder.push_back(separator);
    return folder;
}

// The folder of a full executable path, with its final separator; empty when
// the path has none.
std::string folderOf(const std::string& file) {
#ifdef _WIN32
    const std::size_t last = file.find_last_of("\\/");
#else
    const std::size_t last = file.rfind('/');
#endif
    return last == std::string::npos ? std::string() : file.substr(0, last + 1);
}

#ifndef _WIN32
// An XDG base folder: the variable where it holds an absolute path, else the
// default under the home folder.
std::string xdgFolder(const char* variable, const char* underHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0')
        return {};
    std::string folder = home;
    if (folder.back() != separator)
        folder.push_back(separator);
    return folder + underHome;
}
#else
std::string environmentFolder(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? value : "";
}
#endif

} // namespace

std::string executableFolder() {
    // The buffer grows until the whole path fits: paths can be longer than MAX_PATH.
#ifdef _WIN32
    std::vector<wchar_t> buffer(1024);
#else
    std::vector<char> buffer(1024);
#endif
    for (;;) {
#ifdef _WIN32
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return folderOf(win32::utf8Text(std::wstring_view(buffer.data(), length)));
#else
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<std::size_t>(length) < buffer.size())
            return folderOf(std::string(buffer.data(), static_cast<std::size_t>(length)));
#endif
        if (buffer.size() >= 1u << 16)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string userTempFolder() {
#ifdef _WIN32
    // TMP, TEMP or USERPROFILE as the system picks it; a longer folder than
    // MAX_PATH is asked for again with room for it.
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length > buffer.size()) {
        buffer.resize(length + 1);
        length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    if (length == 0 || length > buffer.size())
        return "C:\\Windows\\Temp\\";
    return withTrailingSeparator(win32::utf8Text(std::wstring_view(buffer.data(), length)));
#else
    // The user's own folder before the shared /tmp, where another user could
    // have put a file of the same name first.
    for (const char* name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        const char* folder = std::getenv(name);
        if (folder != nullptr && *folder != '\0')
            return withTrailingSeparator(folder);
    }
    return "/tmp/";
#endif
}

std::string userConfigFolder() {
#ifdef _WIN32
    return environmentFolder("APPDATA");
#else
    return xdgFolder("XDG_CONFIG_HOME", ".config");
#endif
}

std::string userStateFolder() {
#ifdef _WIN32
    return environmentFolder("LOCALAPPDATA");
#else
    return xdgFolder("XDG_STATE_HOME", ".local/state");
#endif
}

} // namespace velmora::platform
