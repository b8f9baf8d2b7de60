#pragma once

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmora::testsupport {

// Starts the program with the arguments (and this process's environment), its
// standard output going to the descriptor, or to this process's own when -1.
// Returns the process id, or -1 when it could not be started.
inline pid_t spawnProgram(const std::string& program, const std::vector<std::string>& args,
                          int stdoutFd = -1) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

// Waits for the process to end: its exit code, or -1 when a signal ended it.
inline int waitForExit(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ProgramRun {
    int exitCode = -1;  // -1: not started, or ended by a signal
    std::string output; // all it wrote to standard output
};

// Runs the program to its end, collecting its standard output.
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args) {
    ProgramRun run;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return run;
    const pid_t pid = spawnProgram(program, args, fds[1]);
    close(fds[1]);
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got > 0)
            run.output.append(buffer, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    close(fds[0]);
    if (pid > 0)
        run.exitCode = waitForExit(pid);
    return run;
}

} // namespace velmora::testsupport
