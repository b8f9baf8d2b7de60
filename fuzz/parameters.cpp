// The Windows parameter string of the copy tools: no argument keeps a double
// quote, the arguments hold no more bytes than the string, and the arguments,
// each quoted and joined by a blank, split back into the same arguments.
#include "check.h"
#include "platform/commandline.h"

#include <cstdint>
#include <string>
#include <string_view>

using velmora::platform::splitParameters;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view parameters(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> args = splitParameters(parameters);

    std::size_t total = 0;
    std::string quoted;
    for (const std::string& arg : args) {
        FUZZ_CHECK(arg.find('"') == std::string::npos);
        total += arg.size();
        if (!quoted.empty())
            quoted += ' ';
        quoted += '"' + arg + '"';
    }
    FUZZ_CHECK(total <= size);
    FUZZ_CHECK(splitParameters(quoted) == args);
    return 0;
}
