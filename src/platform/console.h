#pragma once

namespace velmora::platform {

enum class ConsoleStream { Output, Error };

// True when the stream goes to a terminal (not a file, a pipe or /dev/null).
bool isTerminal(ConsoleStream stream);

// The terminal's size in characters; 0 where the system cannot tell.
struct TerminalSize {
    int columns = 0;
    int rows = 0;
};
TerminalSize terminalSize(ConsoleStream stream);

// Lets the terminal of the stream take cursor movements and line erasures
// (ANSI sequences). True when it does; POSIX terminals always do.
bool enableTerminalSequences(ConsoleStream stream);

} // namespace velmora::platform
