#pragma once

#include "platform/result.h"
#include "smbsettings.h"

#include <sys/types.h>

namespace velmora::platform::smb {

// A helper started by the program's spawner process: its process id and a
// pidfd that tells its end and takes a signal meant for it alone.
struct SpawnedHelper {
    pid_t pid = -1;
    int pidfd = -1;
};

// Starts a helper for the calling thread, forked by the spawner of the
// settings' helper program (started on first use, and again after it ended),
// with the channel end given as its descriptor 3. The channel end stays the
// caller's to close. Fails when no spawner can serve; the caller then starts
// the helper program itself.
Result<SpawnedHelper> spawnHelper(const SmbSettings& settings, int channelEnd);

} // namespace velmora::platform::smb
