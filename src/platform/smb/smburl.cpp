#include "smburl.h"

#include <vector>

namespace velmora::platform::smb {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// Unreserved in URLs and the sub-delimiters that neither the library nor a
// desktop opener takes as syntax in a path.
bool passesUnchanged(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':
    case '$':
    case '!':
    case '\'':
    case '(':
    case ')':
    case '+':
    case ',':
    case '=':
    case '&':
        return true;
    default:
        return false;
    }
}

void appendEncoded(std::string& out, std::string_view name) {
    static const char hex[] = "0123456789ABCDEF";
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (passesUnchanged(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0x0f]);
        }
    }
}

} // namespace

std::optional<std::string> smbUrlFor(std::string_view networkPath) {
    std::vector<std::string_view> names;
    std::size_t i = 0;
    while (i < networkPath.size()) {
        while (i < networkPath.size() && isSeparator(networkPath[i]))
            ++i;
        const std::size_t start = i;
        while (i < networkPath.size() && !isSeparator(networkPath[i]))
            ++i;
        if (i > start)
            names.push_back(networkPath.substr(start, i - start));
    }
    if (names.empty())
        return std::nullopt;
    std::string url = "smb:/";
    for (std::string_view name : names) {
        url.push_back('/');
        appendEncoded(url, name);
    }
    return url;
}

} // namespace velmora::platform::smb
