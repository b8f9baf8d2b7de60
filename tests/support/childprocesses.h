#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace velmora::testsupport {

// The process ids of the descendants of a process (this one by default:
// its children, theirs, and so on) whose name is so (as /proc shows it, at
// most 15 characters). The SMB helpers are children of the program's helper
// spawner, "velmora-spawn", which is a child of the program.
inline std::vector<long> descendantProcessesNamed(const std::string& name,
                                                  long ancestor = getpid()) {
    std::map<long, std::pair<long, std::string>> processes; // pid -> parent, name
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, program, state;
        long parent = 0;
        // A name with a blank would split; the program's own names have none.
        if (stat >> pid >> program >> state >> parent && !pid.empty() &&
            std::isdigit(static_cast<unsigned char>(pid[0])))
            processes[std::stol(pid)] = {parent, program};
    }
    const std::string shown = "(" + name + ")";
    std::vector<long> found;
    for (const auto& [pid, process] : processes) {
        if (process.second != shown)
            continue;
        for (long up = process.first; up > 1;) {
            if (up == ancestor) {
                found.push_back(pid);
                break;
            }
            const auto next = processes.find(up);
            up = next == processes.end() ? 0 : next->second.first;
        }
    }
    return found;
}

// The name of a process as /proc shows it, "(name)"; empty when it is gone.
inline std::string processName(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string ignored, name;
    stat >> ignored >> name;
    return name;
}

// The SMB helpers among the descendants of a process: processes named
// velmora-smb, but not the helper spawner, which runs as velmora-smb too until
// it has renamed itself (the helpers it forks carry its command line, but have
// it as their parent).
inline std::vector<long> smbHelpersOf(long ancestor = getpid()) {
    std::vector<long> helpers;
    for (long pid : descendantProcessesNamed("velmora-smb", ancestor)) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string ignored;
        long parent = 0;
        stat >> ignored >> ignored >> ignored >> parent;
        std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
        std::string program, first;
        std::getline(cmdline, program, '\0');
        std::getline(cmdline, first, '\0');
        if (first != "--spawner" || processName(parent) == "(velmora-spawn)")
            helpers.push_back(pid);
    }
    return helpers;
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
