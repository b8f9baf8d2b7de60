#include "paths.h"

#include <algorithm>

namespace velmora::platform {

namespace {

// The position of the last delimiter, or npos.
std::size_t lastDelimiter(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isPathDelimiter(path[i - 1]))
            return i - 1;
    }
    return std::string_view::npos;
}

// A delimiter that separates folders, as opposed to the drive colon.
bool isSeparator(char c) {
    return isPathDelimiter(c) && c != ':';
}

} // namespace

bool isPathDelimiter(char c) {
#ifdef _WIN32
    // "/" as well: the system takes it for "\", and Qt's paths use it.
    return c == '\\' || c == ':' || c == '/';
#else
    return c == '\\' || c == '/';
#endif
}

bool isNetworkPath(std::string_view path) {
    return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

std::string folderPart(std::string_view path) {
    const std::size_t last = lastDelimiter(path);
    if (last == std::string_view::npos)
        return {};
    return std::string(path.substr(0, last + 1));
}

std::string fileNamePart(std::string_view path) {
    const std::size_t last = lastDelimiter(path);
    if (last == std::string_view::npos)
        return std::string(path);
    return std::string(path.substr(last + 1));
}

std::string folderWithoutTrailingDelimiter(std::string_view path) {
    const std::size_t last = lastDelimiter(path);
    if (last == std::string_view::npos)
        return {};
    std::size_t end = last + 1;
    if (last > 0 && isSeparator(path[last]) && !isPathDelimiter(path[last - 1]) &&
        path[last - 1] != ':')
        end = last;
    return std::string(path.substr(0, end));
}

std::string joinPath(std::string_view folder, std::string_view name) {
#ifdef _WIN32
    const char separator = '\\';
#else
    const char separator = isNetworkPath(folder) ? '\\' : '/';
#endif
    std::string joined;
    joined.reserve(folder.size() + 1 + name.size());
    joined.append(folder);
    joined.push_back(separator);
    joined.append(name);
    return joined;
}

std::string localSystemPath(std::string_view path) {
    std::string local(path);
#ifndef _WIN32
    std::replace(local.begin(), local.end(), '\\', '/');
#endif
    return local;
}

std::string nativeFolderOf(std::string_view path) {
#ifdef _WIN32
    return folderWithoutTrailingDelimiter(path);
#else
    const std::size_t last = path.rfind('/');
    if (last == std::string_view::npos)
        return {};
    std::size_t end = last;
    while (end > 0 && path[end - 1] == '/')
        --end;
    return std::string(path.substr(0, end == 0 ? 1 : end));
#endif
}

} // namespace velmora::platform
