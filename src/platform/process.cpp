#include "process.h"

#ifdef _WIN32
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
void appendQuoted(std::string& line, const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    for (auto it = arg.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != arg.end() && *it == '\\') {
            ++it;
            ++backslashes;
        }
        if (it == arg.end()) {
            line.append(backslashes * 2, '\\');
            break;
        }
        if (*it == '"') {
            line.append(backslashes * 2 + 1, '\\');
        } else {
            line.append(backslashes, '\\');
        }
        line += *it;
    }
    line += '"';
}

#else

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The file that execvp would run for the program, or empty.
std::string findProgram(const std::string& program) {
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

// Writes errno into the pipe; only async-signal-safe calls.
void reportErrno(int fd) {
    const int code = errno;
    [[maybe_unused]] const ssize_t written = ::write(fd, &code, sizeof code);
}

#endif

} // namespace

#ifdef _WIN32

Status startDetached(const std::string& program, const std::vector<std::string>& args) {
    std::string line;
    appendQuoted(line, program);
    for (const std::string& arg : args) {
        line += ' ';
        appendQuoted(line, arg);
    }
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // No application name: Windows looks the program up in its own folders and on
    // PATH, adding ".exe" when the name has no extension.
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_PROCESS_GROUP | DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &process))
        return lastSystemError();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return {};
}

#else

Status startDetached(const std::string& program, const std::vector<std::string>& args) {
    const std::string file = findProgram(program);
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
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return lastSystemError();

    const pid_t child = ::fork();
    if (child < 0) {
        const Error error = lastSystemError();
        ::close(report[0]);
        ::close(report[1]);
        return error;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            reportErrno(report[1]);
            ::_exit(1);
        }
        if (grandchild == 0) {
            // Start the program with the signal state a new process expects.
            ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
            ::signal(SIGPIPE, SIG_DFL);
            ::execve(file.c_str(), argv.data(), envp);
            reportErrno(report[1]);
            ::_exit(127);
        }
        ::_exit(0);
    }

    ::close(report[1]);
    // The child exits at once; waiting for it leaves no zombie behind.
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    int code = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &code, sizeof code);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof code)) {
        Error error = systemError(code);
        error.message = program + ": " + error.message;
        return error;
    }
    return {};
}

#endif

} // namespace velmora::platform
