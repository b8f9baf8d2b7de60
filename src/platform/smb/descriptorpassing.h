#pragma once

#include <cstddef>

#include <sys/types.h>

// One message over a local socket with at most one descriptor riding along:
// how the program hands a helper's channel to the spawner, and how the
// spawner hands back the helper's pidfd. Used by the program and the helper.
namespace velmora::platform::smb {

// Sends `size` bytes as one message, with `descriptor` attached unless it is
// negative. True when the whole message went.
bool sendWithDescriptor(int socket, const void* data, std::size_t size, int descriptor);

// Receives one message of at most `size` bytes; `descriptor` is the one that
// came with it (close-on-exec), or -1. Returns what recvmsg returned.
ssize_t receiveWithDescriptor(int socket, void* data, std::size_t size, int& descriptor);

} // namespace velmora::platform::smb
