// The SMB credentials file. Any content gives a logon with a user name (guest
// when the file names none), and no value holds a line break or more bytes
// than the file. A file written as smbclient's format, with values that have
// no line break and no blank at either end, reads back as written.
#include "platform/smb/helper/credentials.h"
#include "check.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using velmora::smbhelper::Credentials;
using velmora::smbhelper::readCredentialsFile;

namespace {

int fileDescriptor = -1;
std::string filePath;

Credentials readBack(std::string_view content) {
    if (::ftruncate(fileDescriptor, 0) != 0 ||
        ::pwrite(fileDescriptor, content.data(), content.size(), 0) !=
            static_cast<ssize_t>(content.size()))
        std::abort();
    return readCredentialsFile(filePath);
}

// A value as a user would write it: one line, no blank at either end.
std::string value(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != '\r' && c != '\n' && c != '\0')
            out += c;
    }
    const auto first = out.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return out.substr(first, out.find_last_not_of(" \t") - first + 1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A private file in memory: the reader opens it by its name under /proc.
    fileDescriptor = ::memfd_create("credentials", 0);
    if (fileDescriptor < 0 || ::fchmod(fileDescriptor, 0600) != 0)
        std::abort();
    filePath = "/proc/self/fd/" + std::to_string(fileDescriptor);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const Credentials any = readBack(input);
    FUZZ_CHECK(!any.username.empty());
    for (const std::string* field : {&any.username, &any.password, &any.domain}) {
        FUZZ_CHECK(field->find('\n') == std::string::npos);
        FUZZ_CHECK(field->size() <= std::max<std::size_t>(size, 5)); // "guest"
    }

    // The input's first two line breaks part the user, password and domain.
    const std::size_t first = input.find('\n');
    const std::size_t second =
        first == std::string_view::npos ? first : input.find('\n', first + 1);
    const std::string username = value(input.substr(0, first));
    const std::string password =
        first == std::string_view::npos ? "" : value(input.substr(first + 1, second - first - 1));
    const std::string domain =
        second == std::string_view::npos ? "" : value(input.substr(second + 1));
    if (username.empty())
        return 0;
    const Credentials written = readBack("username = " + username + "\npassword = " + password +
                                         "\ndomain = " + domain + "\n");
    FUZZ_CHECK(written.username == username);
    FUZZ_CHECK(written.password == password);
    FUZZ_CHECK(written.domain == domain);
    return 0;
}
