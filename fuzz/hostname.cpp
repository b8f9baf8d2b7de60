// The host name of a server row for ping: there exactly when the path begins
// with two "\" and has a third character; then it is the text after them up
// to the next "\" or the end, so "\\" + host is the start of the path and what
// follows it is nothing or a "\".
#include "nettools/hostname.h"
#include "check.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> host = velmora::nettools::hostNameOf(path);

    const bool wellFormed = path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
    FUZZ_CHECK(host.has_value() == wellFormed);
    if (!host)
        return 0;
    FUZZ_CHECK(host->find('\\') == std::string::npos);
    FUZZ_CHECK(path.compare(0, 2 + host->size(), "\\\\" + *host) == 0);
    FUZZ_CHECK(path.size() == 2 + host->size() || path[2 + host->size()] == '\\');
    return 0;
}
