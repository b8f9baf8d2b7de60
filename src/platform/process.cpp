#include "process.h"

#ifdef _WIN32
#include "widetext.h"

#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace velmora::platform {

namespace {

#ifdef _WIN32

// Quotes one argument so that the C runtime of the started program splits the
// command line back into the same argument (backslashes are literal except
// before a quote).
void appendQuoted(std::wstring& line, const std::string& text) {
    const std::wstring arg = win32::wideText(text);
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    for (auto it = arg.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != arg.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == arg.end()) {
            line.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        line += *it;
    }
    line += L'"';
}

#else

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// What the children tell the parent through the pipe: the started process's
// id, or the errno of a failed fork or exec. Small enough to be written at once.
struct Report {
    int isError;
    int value;
};

// Only async-signal-safe calls: it runs between fork and exec.
void report(int fd, int isError, int value) {
    const Report message{isError, value};
    [[maybe_unused]] const ssize_t written = ::write(fd, &message, sizeof message);
}

#endif

} // namespace

#ifndef _WIN32

std::string findProgramOnPath(const std::string& program) {
    if (program.empty())
        return {};
    if (program.find('/') != std::string::npos)
        return isExecutableFile(program) ? program : std::string();
    const char* pathVariable = std::getenv("PATH");
    // The same default search path as the C library's exec functions.
    const std::string path = pathVariable != nullptr ? pathVariable : "/bin:/usr/bin";
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(':', start);
        const std::size_t length = end == std::string::npos ? path.size() - start : end - start;
        // An empty entry means the current folder.
        std::string candidate = length == 0 ? std::string(".") : path.substr(start, length);
        candidate += '/';
        candidate += program;
        if (isExecutableFile(candidate))
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

#endif

Status startDetached(const std::string& program, const std::vector<std::string>& args) {
    auto started = startDetachedProcess(program, args);
    if (!started)
        return started.error();
    return {};
}

#ifdef _WIN32

Result<long> startDetachedProcess(const std::string& program,
                                  const std::vector<std::string>& args) {
    std::wstring line;
    appendQuoted(line, program);
    for (const std::string& arg : args) {
        line += L' ';
        appendQuoted(line, arg);
    }
    // CreateProcessW may write into the command line.
    std::vector<wchar_t> commandLine(line.begin(), line.end());
    commandLine.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // No application name: Windows looks the program up in its own folders and on
    // PATH, adding ".exe" when the name has no extension.
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_PROCESS_GROUP | DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &process))
        return lastSystemError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(process.dwProcessId);
}

#else

Result<long> startDetachedProcess(const std::string& program,
                                  const std::vector<std::string>& args) {
    const std::string file = findProgramOnPath(program);
    if (file.empty()) {
        Error error = systemError(ENOENT);
        error.message = program + ": " + error.message;
        return error;
    }

    // Everything the children use is made ready here: after fork only
    // async-signal-safe calls are allowed.
    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    char** const envp = environ;
    sigset_t noSignals;
    sigemptyset(&noSignals);

    // The grandchild reports a failed exec through this pipe; a successful exec
    // closes it, so the parent reads nothing.
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return lastSystemError();

    const pid_t child = ::fork();
    if (child < 0) {
        const Error error = lastSystemError();
        ::close(channel[0]);
        ::close(channel[1]);
        return error;
    }
    if (child == 0) {
        ::close(channel[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            report(channel[1], 1, errno);
            ::_exit(1);
        }
        if (grandchild == 0) {
            // Start the program with the signal state a new process expects.
            ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            ::execve(file.c_str(), argv.data(), envp);
            report(channel[1], 1, errno);
            ::_exit(127);
        }
        report(channel[1], 0, static_cast<int>(grandchild));
        ::_exit(0);
    }

    ::close(channel[1]);
    // The child exits at once; waiting for it leaves no zombie behind.
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    // Reads until the pipe closes: the id comes from the child, an exec failure
    // (if any) from the grandchild, in either order.
    long started = -1;
    int failure = 0;
    Report message{};
    for (;;) {
        const ssize_t got = ::read(channel[0], &message, sizeof message);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != static_cast<ssize_t>(sizeof message))
            break;
        if (message.isError)
            failure = message.value;
        else
            started = message.value;
    }
    ::close(channel[0]);
    if (failure != 0 || started < 0) {
        Error error = systemError(failure != 0 ? failure : ECHILD);
        error.message = program + ": " + error.message;
        return error;
    }
    return started;
}

#endif

} // namespace velmora::platform
