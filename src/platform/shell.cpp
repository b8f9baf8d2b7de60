#include "shell.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>
#ifdef _MSC_VER
#pragma comment(lib, "shell32.lib")
#endif
#else
#include "commandline.h"
#include "paths.h"
#include "process.h"
#include "programfile.h"
#include "smb/smburl.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>
#endif

namespace velmora::platform {

std::string pingParameters(const std::string& host, bool continuous) {
    return continuous ? host + " -t" : host;
}

#ifdef _WIN32

namespace {

Status shellExecute(WindowOwner owner, const char* file, const char* parameters, const char* folder,
                    int show) {
    SetLastError(ERROR_SUCCESS);
    const HINSTANCE result =
        ShellExecuteA(static_cast<HWND>(owner), "open", file, parameters, folder, show);
    const auto code = reinterpret_cast<INT_PTR>(result);
    if (code > 32)
        return {};
    // ShellExecute's own small codes match the system's for the common cases.
    const DWORD last = GetLastError();
    return systemError(last != ERROR_SUCCESS ? static_cast<int>(last) : static_cast<int>(code));
}

} // namespace

Status shellOpen(const std::string& path, WindowOwner owner) {
    return shellExecute(owner, path.c_str(), "", "", SW_SHOWNORMAL);
}

Status shellStartConsoleProgram(const std::string& program, const std::string& parameters,
                                WindowOwner owner) {
    return shellExecute(owner, program.c_str(), parameters.c_str(), nullptr, SW_SHOW);
}

Status shellStartPing(const std::string& host, bool continuous, WindowOwner owner) {
    if (!host.empty() && host[0] == '-')
        return systemError(ERROR_INVALID_PARAMETER);
    return shellExecute(owner, "ping", pingParameters(host, continuous).c_str(), nullptr,
                        SW_SHOWNORMAL);
}

#else

namespace {

// The desktop's opener. VELMORA_OPENER names another program to use instead;
// the tests put a script there that records what it is handed.
std::string openerProgram() {
    const char* opener = std::getenv("VELMORA_OPENER");
    return opener != nullptr && *opener != '\0' ? opener : "xdg-open";
}

std::string openerArgument(const std::string& path) {
    if (isNetworkPath(path))
        return smb::smbUrlFor(path).value_or("smb://");
    std::string local = localSystemPath(path);
    // The opener would take a leading "-" as an option of its own.
    if (!local.empty() && local[0] == '-')
        local.insert(0, "./");
    return local;
}

// A process that has ended: gone, or a zombie that nobody has reaped yet.
bool processEnded(long id) {
    if (::kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH)
        return true;
    std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
    std::string pid, name, state;
    stat >> pid >> name >> state;
    return state == "Z" || state == "X";
}

// Waits until a process runs from the program file, the terminal that should
// start it has ended, or the time is up.
void waitUntilRunning(const std::string& program, long terminal) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(5);
    while (!isRunningProgramFile(program) && !processEnded(terminal) &&
           steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
}

// The option that asks a terminal to keep its window once the program in it
// has ended, so that a copy's summary and ping's statistics stay readable until
// the user closes it; none for a terminal that has no such option or is not
// known. x-terminal-emulator is known by the terminal its link leads to.
const char* holdOption(const std::string& terminal) {
    std::string name = terminal;
    if (const std::string found = findProgramOnPath(terminal); !found.empty()) {
        if (char* real = ::realpath(found.c_str(), nullptr)) {
            name = real;
            std::free(real);
        }
    }
    name = name.substr(name.rfind('/') + 1);
    if (name == "xterm" || name == "uxterm" || name == "lxterm" || name == "koi8rxterm")
        return "-hold";
    if (name == "konsole" || name == "xfce4-terminal" || name == "alacritty")
        return "--hold";
    return nullptr;
}

Status startInTerminal(const std::string& program, const std::vector<std::string>& args,
                       bool waitForProgramFile) {
    const std::string terminal = terminalProgram();
    if (terminal.empty())
        return systemError(ENOENT);
    // These two take a single command line after -e; -x takes the words.
    const bool takesWordsAfterX = terminal == "xfce4-terminal" || terminal == "mate-terminal";
    std::vector<std::string> terminalArgs;
    if (const char* hold = holdOption(terminal))
        terminalArgs.push_back(hold);
    terminalArgs.insert(terminalArgs.end(), {takesWordsAfterX ? "-x" : "-e", program});
    terminalArgs.insert(terminalArgs.end(), args.begin(), args.end());
    auto started = startDetachedProcess(terminal, terminalArgs);
    if (!started)
        return started.error();
    if (waitForProgramFile)
        waitUntilRunning(program, started.value());
    return {};
}

} // namespace

std::string terminalProgram() {
    const char* named = std::getenv("TERMINAL");
    if (named != nullptr && *named != '\0')
        return named;
    // Terminals that take the program and its arguments as separate words
    // (gnome-terminal, lxterminal and qterminal take one command line, so they
    // are not among them; x-terminal-emulator takes words by Debian's rule).
    for (const char* candidate : {"x-terminal-emulator", "xterm", "konsole", "xfce4-terminal",
                                  "mate-terminal", "alacritty"}) {
        if (!findProgramOnPath(candidate).empty())
            return candidate;
    }
    return {};
}

Status shellOpen(const std::string& path, WindowOwner) {
    return startDetached(openerProgram(), {openerArgument(path)});
}

Status shellStartConsoleProgram(const std::string& program, const std::string& parameters,
                                WindowOwner) {
    const std::string file = localSystemPath(program);
    return startInTerminal(file, splitParameters(parameters), file.find('/') != std::string::npos);
}

Status shellStartPing(const std::string& host, bool continuous, WindowOwner) {
    std::vector<std::string> args;
    if (!continuous)
        args = {"-c", "4"};
    if (!host.empty()) {
        args.push_back("--");
        args.push_back(host);
    }
    return startInTerminal("ping", args, false);
}

#endif

} // namespace velmora::platform
