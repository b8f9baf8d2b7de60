#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace velmora::testsupport {

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes. Plain C++, for the tests of the Qt-free layer.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix = "velmora") {
        std::string pattern =
            std::filesystem::temp_directory_path().string() + "/" + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder's path without a trailing separator; empty if it could not be made.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace velmora::testsupport
