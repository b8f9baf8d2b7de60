#include "console.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace velmora::platform {

namespace {

#ifdef _WIN32
HANDLE handleOf(ConsoleStream stream) {
    return GetStdHandle(stream == ConsoleStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}
#else
int descriptorOf(ConsoleStream stream) {
    return stream == ConsoleStream::Output ? STDOUT_FILENO : STDERR_FILENO;
}
#endif

} // namespace

bool isTerminal(ConsoleStream stream) {
#ifdef _WIN32
    DWORD mode = 0;
    return GetConsoleMode(handleOf(stream), &mode) != 0;
#else
    return ::isatty(descriptorOf(stream)) == 1;
#endif
}

TerminalSize terminalSize(ConsoleStream stream) {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(handleOf(stream), &info))
        return {};
    return {info.srWindow.Right - info.srWindow.Left + 1,
            info.srWindow.Bottom - info.srWindow.Top + 1};
#else
    winsize size{};
    if (::ioctl(descriptorOf(stream), TIOCGWINSZ, &size) != 0)
        return {};
    return {size.ws_col, size.ws_row};
#endif
}

bool enableTerminalSequences(ConsoleStream stream) {
#ifdef _WIN32
    const HANDLE handle = handleOf(stream);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode))
        return false;
    return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
#else
    return isTerminal(stream);
#endif
}

} // namespace velmora::platform
