#include "shell.h"

#ifdef _WIN32
#include "widetext.h"

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

// ShellExecute's result up to 32 is a failure, and 26 to 32 are codes of its
// own (SE_ERR_*), not system errors: each is told as the system error of the
// same meaning. 0 means the system ran out of memory or resources.
int systemErrorOfShellResult(INT_PTR code) {
    switch (code) {
    case 0:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SE_ERR_SHARE:
        return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC:
        return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY:
        return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND:
        return ERROR_DLL_NOT_FOUND;
    default:
        // 2 (file not found), 3 (path not found), 5 (access denied), 8 (out of
        // memory), 11 (bad format): ShellExecute uses the system's numbers.
        return static_cast<int>(code);
    }
}

Status shellExecute(WindowOwner owner, const std::string& file, const std::string& parameters,
                    int show) {
    const std::wstring wideFile = win32::wideText(file);
    const std::wstring wideParameters = win32::wideText(parameters);
    // No working folder: the started program gets this process's own.
    const HINSTANCE result = ShellExecuteW(static_cast<HWND>(owner), L"open", wideFile.c_str(),
                                           wideParameters.c_str(), nullptr, show);
    const auto code = reinterpret_cast<INT_PTR>(result);
    if (code > 32)
        return {};
    return systemError(systemErrorOfShellResult(code));
}

} // namespace

Status shellOpen(const std::string& path, WindowOwner owner) {
    return shellExecute(owner, path, "", SW_SHOWNORMAL);
}

Status shellStartConsoleProgram(const std::string& program, const std::string& parameters,
                                WindowOwner owner) {
    return shellExecute(owner, program, parameters, SW_SHOW);
}

Status shellStartPing(const std::string& host, bool continuous, WindowOwner owner) {
    if (!host.empty() && host[0] == '-')
        return systemError(ERROR_INVALID_PARAMETER);
    return shellExecute(owner, "ping", pingParameters(host, continuous), SW_SHOWNORMAL);
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

Status startInTerminal(const std::string& program, const std::vector<std::string>& args,
                       bool waitForProgramFile) {
    const std::string terminal = terminalProgram();
    if (terminal.empty())
        return systemError(ENOENT);
    // These two take a single command line after -e; -x takes the words.
    const bool takesWordsAfterX = terminal == "xfce4-terminal" || terminal == "mate-terminal";
    std::vector<std::string> terminalArgs{takesWordsAfterX ? "-x" : "-e", program};
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
