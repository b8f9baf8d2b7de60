#pragma once

#include "result.h"

#include <string>

// The desktop shell: starting programs and opening folders and files without
// waiting for them. On Windows each call is one ShellExecuteA with the verb
// "open"; on Linux arguments always go to the started program as a list,
// never through a shell command line.
namespace velmora::platform {

// The window that owns any message the shell itself shows (an HWND on
// Windows); not used elsewhere.
using WindowOwner = void*;

// Asks the desktop to "open" a folder or a file as the user would by
// double-clicking it: a program runs, a document opens in its program, a
// folder opens in the file browser. On Linux this hands the path to the
// desktop's opener (xdg-open, or the program named by VELMORA_OPENER) as one
// argument; a network path \\host\share\path goes as smb://host/share/path,
// its names converted from the list's character set (listcharset.h) to UTF-8.
// The Status only says whether the opener could be started.
Status shellOpen(const std::string& path, WindowOwner owner = nullptr);

// The same for a native path (nativeFileSystem): a local name as the system
// gave it, handed over unchanged, so that on Linux a "\" stays in the name.
Status shellOpenNative(const std::string& path, WindowOwner owner = nullptr);

// Starts a console program in a window of its own with a Windows-style
// parameter string (shown with SW_SHOW on Windows). On Linux the program runs
// in a terminal (terminalProgram()) as TERMINAL -e PROGRAM ARGS... (-x for
// xfce4-terminal and mate-terminal), the arguments split by splitParameters;
// a terminal that can keep its window after the program has ended (xterm
// -hold; konsole, xfce4-terminal and alacritty --hold) is asked to, so that
// what the program printed last stays readable. When the program is a file
// path, the call returns once the terminal has opened that file to run it, as
// on Windows, where the process exists when the call returns (until then the
// file must not be deleted); it fails when the file cannot be executed (a file
// system mounted noexec, say), or when the terminal has not started it within
// 10 s (3 s after the terminal has ended). It may therefore block: call it off
// the main thread.
Status shellStartConsoleProgram(const std::string& program, const std::string& parameters,
                                WindowOwner owner);

// Starts the system's ping for the host in a console window of its own, shown
// normally: four echo requests, or continuously until the user stops it. On
// Linux ping gets -c 4 for the four requests, and the host after "--", so that
// a host name beginning with "-" is never taken for an option; an empty host
// name is left out. Windows' ping has no end of options, so such a host name
// is refused there (EINVAL) and ping is not started.
Status shellStartPing(const std::string& host, bool continuous, WindowOwner owner);

// Windows' parameter string for ping: the host, followed by " -t" for the
// continuous ping.
std::string pingParameters(const std::string& host, bool continuous);

#ifndef _WIN32
// The terminal for console programs: $TERMINAL where it is set, else
// x-terminal-emulator, else the first of a few common terminals found on PATH;
// empty when there is none.
std::string terminalProgram();
#endif

} // namespace velmora::platform
