#include "channelspawn.h"

#include <fcntl.h>
#include <spawn.h>

extern char** environ;

namespace velmora::platform::smb {

Result<pid_t> spawnOnChannel(std::vector<std::string> args, int channelEnd, int channelNumber) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, channelEnd, channelNumber);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        return systemError(failed);
    return pid;
}

} // namespace velmora::platform::smb
