#include "credentials.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora::smbhelper {

namespace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

// A value as smbclient reads it: everything after the first "=", blanks and
// "#" and "=" included, with only the blanks before it and the line end taken
// off (a CR too, for a file written on Windows).
std::string valueOf(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    text.remove_prefix(first);
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    return std::string(text);
}

} // namespace

Credentials readCredentialsFile(const std::string& path) {
    Credentials found;
    std::ifstream file(path);
    std::string line;
    while (file && std::getline(file, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = trimmed(std::string_view(line).substr(0, equals));
        for (char& c : key)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string value = valueOf(std::string_view(line).substr(equals + 1));
        // A user or domain name never ends in a blank: one left there is a slip.
        if (key == "username")
            found.username = trimmed(value);
        else if (key == "password")
            found.password = value;
        else if (key == "domain")
            found.domain = trimmed(value);
    }
    if (found.username.empty())
        return Credentials{"guest", "", found.domain};
    return found;
}

bool kerberosTicketAvailable() {
    const char* named = std::getenv("KRB5CCNAME");
    if (named && *named)
        return true;
    struct stat info {};
    const std::string standard = "/tmp/krb5cc_" + std::to_string(getuid());
    return stat(standard.c_str(), &info) == 0;
}

} // namespace velmora::smbhelper
