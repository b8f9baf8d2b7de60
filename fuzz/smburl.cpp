// The SMB URL of a network path: none exactly when the path names nothing
// but separators; otherwise "smb://" and the path's names joined by "/", each
// percent-encoded so that no byte of it is URL syntax, printable ASCII only,
// at most three bytes per byte of the path, and decoding the URL gives the
// path's names back byte for byte.
#include "platform/smb/smburl.h"
#include "check.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::vector<std::string> namesOf(std::string_view path) {
    std::vector<std::string> names;
    std::string current;
    for (char c : path) {
        if (!isSeparator(c)) {
            current += c;
        } else if (!current.empty()) {
            names.push_back(current);
            current.clear();
        }
    }
    if (!current.empty())
        names.push_back(current);
    return names;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The names of the URL's path, percent-decoded; a malformed escape stops it.
std::vector<std::string> decodedNames(std::string_view path) {
    std::vector<std::string> names;
    std::string current;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '/') {
            names.push_back(current);
            current.clear();
        } else if (c == '%') {
            FUZZ_CHECK(i + 2 < path.size());
            const int high = hexValue(path[i + 1]);
            const int low = hexValue(path[i + 2]);
            FUZZ_CHECK(high >= 0 && low >= 0);
            current += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            current += c;
        }
    }
    names.push_back(current);
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view path(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> url = velmora::platform::smb::smbUrlFor(path);
    const std::vector<std::string> names = namesOf(path);

    FUZZ_CHECK(url.has_value() == !names.empty());
    if (!url)
        return 0;
    FUZZ_CHECK(url->size() <= 6 + size * 3);
    for (char c : *url) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(byte > 0x20 && byte < 0x7f);
        FUZZ_CHECK(std::string_view("\\?#@;[]\"<>^`{|} ").find(c) == std::string_view::npos);
    }
    FUZZ_CHECK(url->rfind("smb://", 0) == 0);
    const std::string_view rest = std::string_view(*url).substr(6);
    FUZZ_CHECK(rest.find(':') == std::string_view::npos);
    FUZZ_CHECK(decodedNames(rest) == names);
    return 0;
}
