// The path rules: a path is its folder part followed by its file-name part;
// the file-name part holds no delimiter and the folder part is empty or ends
// in one; the folder without its trailing delimiter drops at most that
// delimiter; a joined path splits back into the folder and the name; the
// local form of a path differs from it only in its separators.
#include "platform/paths.h"
#include "check.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace platform = velmora::platform;

namespace {

bool hasDelimiter(std::string_view text) {
    for (char c : text) {
        if (platform::isPathDelimiter(c))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string folder = platform::folderPart(input);
    const std::string name = platform::fileNamePart(input);
    FUZZ_CHECK(folder + name == input);
    FUZZ_CHECK(!hasDelimiter(name));
    FUZZ_CHECK(folder.empty() || platform::isPathDelimiter(folder.back()));

    const std::string trimmed = platform::folderWithoutTrailingDelimiter(input);
    FUZZ_CHECK(folder.compare(0, trimmed.size(), trimmed) == 0);
    FUZZ_CHECK(trimmed.size() + 1 >= folder.size());

    FUZZ_CHECK(platform::isNetworkPath(input) == (input.substr(0, 2) == "\\\\"));

    // The input up to a NUL is a folder, what follows it a name.
    const std::size_t cut = input.find('\0');
    const std::string_view joinFolder = input.substr(0, cut);
    const std::string_view joinName =
        cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
    const std::string joined = platform::joinPath(joinFolder, joinName);
    FUZZ_CHECK(joined.size() == joinFolder.size() + 1 + joinName.size());
    FUZZ_CHECK(joined.compare(0, joinFolder.size(), joinFolder) == 0);
    FUZZ_CHECK(platform::isPathDelimiter(joined[joinFolder.size()]));
    if (!hasDelimiter(joinName)) {
        FUZZ_CHECK(platform::fileNamePart(joined) == joinName);
        FUZZ_CHECK(platform::folderPart(joined).size() == joinFolder.size() + 1);
    }

    const std::string local = platform::localSystemPath(input);
    FUZZ_CHECK(local.size() == input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
#ifdef _WIN32
        FUZZ_CHECK(local[i] == input[i]);
#else
        FUZZ_CHECK(local[i] == (input[i] == '\\' ? '/' : input[i]));
#endif
    }
    return 0;
}
