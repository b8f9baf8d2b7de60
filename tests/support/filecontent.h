#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace velmora::testsupport {

// Writes the bytes as the whole file.
inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The whole file's bytes; "<missing>" when it cannot be opened.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

} // namespace velmora::testsupport
