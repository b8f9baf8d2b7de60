#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace velmora::testsupport {

// The separator of local paths that the tests build.
#ifdef _WIN32
inline constexpr const char* kSeparator = "\\";
#else
inline constexpr const char* kSeparator = "/";
#endif

// A path as the platform layer takes it: UTF-8 on every system.
inline std::string utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The path of UTF-8 bytes, for the standard library's file calls.
inline std::filesystem::path fromUtf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes. Plain C++, for the tests of the Qt-free layer.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix = "velmora") {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
#ifdef _WIN32
        // No mkdtemp: a name of this process and a counter, made only if new.
        static unsigned counter = 0;
        for (int attempt = 0; attempt < 1000 && path_.empty(); ++attempt) {
            const std::filesystem::path candidate =
                base / (prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(GetTickCount()) + "-" + std::to_string(++counter));
            if (std::filesystem::create_directory(candidate, error))
                path_ = utf8Path(candidate);
        }
#else
        std::string pattern = base.string() + "/" + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data()))
            path_ = pattern;
#endif
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(fromUtf8Path(path_), ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder's path without a trailing separator; empty if it could not be made.
    const std::string& path() const {
        return path_;
    }

private:
    std::string path_;
};

} // namespace velmora::testsupport
