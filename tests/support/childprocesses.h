#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace velmora::testsupport {

// The process ids of this process's children whose program is named so (as
// /proc shows it, at most 15 characters).
inline std::vector<long> childProcessesNamed(const std::string& name) {
    std::vector<long> found;
    const std::string shown = "(" + name + ")";
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, program, state;
        long parent = 0;
        if (stat >> pid >> program >> state >> parent && parent == getpid() && program == shown)
            found.push_back(std::stol(pid));
    }
    return found;
}

// The ids of every process that runs from the program file.
inline std::vector<pid_t> processesRunningFrom(const std::string& file) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::error_code error;
        const auto exe = std::filesystem::read_symlink(entry.path() / "exe", error);
        if (!error && exe == file)
            found.push_back(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    }
    return found;
}

} // namespace velmora::testsupport
