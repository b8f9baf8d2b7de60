// The lines of serveri.txt: every row is free of line ends and NUL, and the
// rows, each followed by LF, are the text up to its first NUL with each line
// end (CR LF, CR or LF) written as LF and a missing last line end supplied.
// Rows written back with CR LF give the same rows.
#include "check.h"
#include "serverlist/linesplitter.h"

#include <cstdint>
#include <string>
#include <string_view>

using velmora::serverlist::splitServerLines;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> rows = splitServerLines(input);

    const std::string_view text = input.substr(0, input.find('\0'));
    std::string expected;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            expected += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            expected += text[i];
        }
    }
    if (!expected.empty() && expected.back() != '\n')
        expected += '\n';

    std::string joined;
    std::string writtenBack;
    for (const std::string& row : rows) {
        FUZZ_CHECK(row.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        joined += row + '\n';
        writtenBack += row + "\r\n";
    }
    FUZZ_CHECK(joined == expected);
    FUZZ_CHECK(splitServerLines(writtenBack) == rows);
    return 0;
}
