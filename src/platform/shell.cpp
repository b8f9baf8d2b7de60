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
#include "listcharset.h"
#include "paths.h"
#include "process.h"
#include "programfile.h"
#include "smb/smburl.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
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

Status shellOpenNative(const std::string& path, WindowOwner owner) {
    return shellOpen(path, owner);
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

// The opener would take a leading "-" as an option of its own.
std::string notAnOption(std::string local) {
    if (!local.empty() && local[0] == '-')
        local.insert(0, "./");
    return local;
}

std::string openerArgument(const std::string& path) {
    // A row's network path is in the list's character set, the URL in UTF-8,
    // as for the SMB client itself.
    if (isNetworkPath(path))
        return smb::smbUrlFor(listTextAsUtf8(path).value_or(path)).value_or("smb://");
    return notAnOption(localSystemPath(path));
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

// How long a start may take: the terminal itself may be slow to come up, and
// one that hands the program to a server process of its own and ends at once
// starts it a moment later; a terminal that has ended is given a little while.
constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStartAfterTerminalEnded = std::chrono::seconds(3);

// Watches a program file for the open by which a process starts running it.
// The open is what counts, not a process still running from the file: a tool
// that has done its work at once would be gone before a look could find it.
// After the open, the start is complete once the process runs from the file
// (the system then refuses to write it) or has already ended with it (the
// file's last close). Where the system has no watch to give, a process
// running from the file is looked for instead.
class ProgramStartWatch {
public:
    explicit ProgramStartWatch(std::string program) : program_(std::move(program)) {
        fd_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (fd_ >= 0 &&
            ::inotify_add_watch(fd_, program_.c_str(), IN_OPEN | IN_CLOSE_NOWRITE) < 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~ProgramStartWatch() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ProgramStartWatch(const ProgramStartWatch&) = delete;
    ProgramStartWatch& operator=(const ProgramStartWatch&) = delete;

    // True once a process has started from the file; waits 20 ms at most.
    bool started() {
        using namespace std::chrono;
        if (fd_ < 0) {
            std::this_thread::sleep_for(milliseconds(20));
            return isRunningProgramFile(program_);
        }
        readEvents();
        if (!opened_)
            return false;
        return closed_ || isRunningProgramFile(program_) ||
               steady_clock::now() - openedAt_ > milliseconds(200);
    }

private:
    void readEvents() {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, opened_ ? 5 : 20) <= 0)
            return;
        alignas(inotify_event) char events[4096];
        const ssize_t got = ::read(fd_, events, sizeof events);
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if ((event->mask & IN_OPEN) != 0 && !opened_) {
                opened_ = true;
                openedAt_ = std::chrono::steady_clock::now();
            }
            if ((event->mask & IN_CLOSE_NOWRITE) != 0 && opened_)
                closed_ = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }

    std::string program_;
    int fd_ = -1;
    bool opened_ = false;
    bool closed_ = false;
    std::chrono::steady_clock::time_point openedAt_;
};

// Waits until the terminal has started the program; an error when it has not
// in time.
Status waitUntilStarted(ProgramStartWatch& watch, long terminal) {
    using namespace std::chrono;
    auto deadline = steady_clock::now() + kStartTimeout;
    bool terminalEnded = false;
    for (;;) {
        if (watch.started())
            return {};
        const auto now = steady_clock::now();
        if (!terminalEnded && processEnded(terminal)) {
            terminalEnded = true;
            deadline = std::min(deadline, now + kStartAfterTerminalEnded);
        }
        if (now >= deadline)
            return Error{ETIMEDOUT, terminalEnded
                                        ? "The terminal ended without starting it."
                                        : "It was not seen starting within " +
                                              std::to_string(kStartTimeout.count()) + " s."};
    }
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
    // A program file that cannot be executed (a file system mounted noexec, a
    // file without the mode) is not handed to a terminal that would only fail.
    if (!waitForProgramFile)
        return startDetached(terminal, terminalArgs);
    if (::access(program.c_str(), X_OK) != 0)
        return lastSystemError();
    ProgramStartWatch watch(program);
    auto started = startDetachedProcess(terminal, terminalArgs);
    if (!started)
        return started.error();
    return waitUntilStarted(watch, started.value());
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

Status shellOpenNative(const std::string& path, WindowOwner) {
    return startDetached(openerProgram(), {notAnOption(path)});
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
