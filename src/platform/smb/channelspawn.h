#pragma once

#include "platform/result.h"

#include <string>
#include <vector>

#include <sys/types.h>

namespace velmora::platform::smb {

// Starts `args[0]` with `args`, standard input and output on /dev/null (a
// helper must not hold the program's output open after the program ended),
// and `channelEnd` as its descriptor `channelNumber`. `channelEnd` must lie
// above `channelNumber`, 0 and 1; it stays the caller's to close.
Result<pid_t> spawnOnChannel(std::vector<std::string> args, int channelEnd, int channelNumber);

} // namespace velmora::platform::smb
