#pragma once

namespace velmora::platform {

// Catches the requests to stop a console program (Ctrl-C, SIGINT, SIGTERM,
// SIGHUP; on Windows Ctrl-C, Ctrl-Break and the console's closing) and counts
// them instead of letting them end the process, so that the program can end
// its work in order. Writes to an output that has gone fail instead of ending
// the process.
//
// Must be called before the process starts any other thread: on POSIX the
// signals are blocked in every thread (and so in the programs they start,
// which keep running under a terminal's Ctrl-C until their own thread ends
// them) and one thread of its own waits for them. False when the watch could
// not be set up.
bool watchInterrupts();

// How many requests to stop have come since watchInterrupts(); any thread.
int interruptsReceived();

} // namespace velmora::platform
