#pragma once

#include <cerrno>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace velmora::testsupport {

#ifdef _WIN32
using Process = HANDLE;
using PipeEnd = HANDLE;
inline const Process kNoProcess = nullptr;
inline const PipeEnd kNoPipe = nullptr;
// The exit code that killProcess gives, read back as "ended by force".
inline constexpr DWORD kKilledExitCode = 0xDEADu;
#else
using Process = pid_t;
using PipeEnd = int;
inline constexpr Process kNoProcess = -1;
inline constexpr PipeEnd kNoPipe = -1;
#endif

#ifdef _WIN32
inline std::wstring wideFromUtf8(const std::string& text) {
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    return wide;
}

// Starts the program with a Windows parameter string as it stands, its standard
// output going to the pipe end, or to this process's own when none.
inline Process spawnCommandLine(const std::string& program, const std::string& parameters,
                                PipeEnd output = kNoPipe) {
    std::wstring line = L"\"" + wideFromUtf8(program) + L"\" " + wideFromUtf8(parameters);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output != kNoPipe) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, output != kNoPipe, 0, nullptr,
                        nullptr, &startup, &process))
        return kNoProcess;
    CloseHandle(process.hThread);
    return process.hProcess;
}
#endif

// Starts the program with the arguments (and this process's environment), its
// standard output going to the pipe end, or to this process's own when none.
// On Windows each argument goes in double quotes, the way the window hands its
// paths to the copy tool (which reads a backslash as an ordinary character).
inline Process spawnProgram(const std::string& program, const std::vector<std::string>& args,
                            PipeEnd output = kNoPipe) {
#ifdef _WIN32
    std::string parameters;
    for (const std::string& arg : args)
        parameters += "\"" + arg + "\" ";
    return spawnCommandLine(program, parameters, output);
#else
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output >= 0)
        posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
#endif
}

// Waits for the process to end: its exit code, or -1 when it was killed.
inline int waitForExit(Process process) {
#ifdef _WIN32
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    const bool known = GetExitCodeProcess(process, &code) != 0;
    CloseHandle(process);
    return !known || code == kKilledExitCode ? -1 : static_cast<int>(code);
#else
    int status = 0;
    while (waitpid(process, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

// Ends the process at once, as a kill from the task manager or SIGKILL does.
inline void killProcess(Process process) {
#ifdef _WIN32
    TerminateProcess(process, kKilledExitCode);
#else
    kill(process, SIGKILL);
#endif
}

// A pipe whose buffer holds only a few kilobytes, so that a writer nobody
// reads from stops once it is full.
class SmallPipe {
public:
    SmallPipe() {
#ifdef _WIN32
        SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        if (CreatePipe(&read_, &write_, &inherited, 4096))
            SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
#else
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) == 0) {
            read_ = fds[0];
            write_ = fds[1];
            fcntl(write_, F_SETPIPE_SZ, 4096);
        }
#endif
    }
    ~SmallPipe() {
        closeEnd(read_);
        closeEnd(write_);
    }
    SmallPipe(const SmallPipe&) = delete;
    SmallPipe& operator=(const SmallPipe&) = delete;

    bool ok() const {
        return read_ != kNoPipe && write_ != kNoPipe;
    }
    PipeEnd readEnd() const {
        return read_;
    }
    PipeEnd writeEnd() const {
        return write_;
    }
    void closeRead() {
        closeEnd(read_);
    }
    void closeWrite() {
        closeEnd(write_);
    }

    // Reads what comes until the writers have all closed their ends.
    std::string readAll() {
        std::string all;
        char buffer[4096];
        for (;;) {
#ifdef _WIN32
            DWORD got = 0;
            if (!ReadFile(read_, buffer, sizeof buffer, &got, nullptr) || got == 0)
                break;
#else
            const ssize_t got = read(read_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
#endif
            all.append(buffer, static_cast<std::size_t>(got));
        }
        return all;
    }

private:
    static void closeEnd(PipeEnd& end) {
        if (end == kNoPipe)
            return;
#ifdef _WIN32
        CloseHandle(end);
#else
        close(end);
#endif
        end = kNoPipe;
    }

    PipeEnd read_ = kNoPipe;
    PipeEnd write_ = kNoPipe;
};

struct ProgramRun {
    int exitCode = -1;  // -1: not started, or killed
    std::string output; // all it wrote to standard output
};

// Runs the started process to its end, collecting its standard output from the
// pipe; the caller's write end is closed first.
inline ProgramRun finishRun(Process process, SmallPipe& out) {
    ProgramRun run;
#ifdef _WIN32
    const DWORD startError = GetLastError();
#else
    const int startError = errno;
#endif
    out.closeWrite();
    if (process == kNoProcess) {
        run.output = "<not started: system error " + std::to_string(startError) + ">";
        return run;
    }
    run.output = out.readAll();
    run.exitCode = waitForExit(process);
    return run;
}

// Runs the program to its end, collecting its standard output.
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args) {
    SmallPipe out;
    return finishRun(spawnProgram(program, args, out.writeEnd()), out);
}

#ifdef _WIN32
// The same with a Windows parameter string as it stands.
inline ProgramRun runCommandLine(const std::string& program, const std::string& parameters) {
    SmallPipe out;
    return finishRun(spawnCommandLine(program, parameters, out.writeEnd()), out);
}
#endif

} // namespace velmora::testsupport
