#pragma once

// The helper as a spawner: a process that has loaded the SMB client library
// and its configuration once, and forks a helper for each thread of the
// program that asks for one, so that starting a helper costs a fork instead
// of starting a program with a hundred libraries. The program asks on the
// channel (descriptor 3, a packet socket): a request holds the helper's port,
// time-out and credentials file as three texts ending in NUL, and the helper's
// end of its own channel as a descriptor; the reply holds the helper's process
// id (or the negative error number) and a pidfd for it. The spawner ends when
// the program closes the channel or goes away.
namespace velmora::smbhelper {

using ServeChannel = void (*)(int port, int timeoutSeconds, const char* credentialsFile);

int runSpawner(ServeChannel serve);

} // namespace velmora::smbhelper
