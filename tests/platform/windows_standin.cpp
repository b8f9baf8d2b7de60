// velmora_standin: a program that the Windows tests start in place of the
// copy tool, the shell's "open" or a running program. It starts nothing
// itself. It appends one line to the file named by VELMORA_STANDIN_RECORD, in
// UTF-8: the parameter string as the system handed it (the command line after
// the program's name), then each argument as the C runtime's rule splits it,
// separated by the unit separator (0x1F).
//   --sleep N   records nothing and runs N seconds (a program that runs)
//   --folder    records the folder the program runs from (executableFolder)
#include "platform/programpaths.h"
#include "platform/widetext.h"

#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <string>

namespace {

// The command line after the program's name and the blanks that follow it.
std::wstring parameterString(const wchar_t* line) {
    std::wstring rest(line);
    std::size_t i = 0;
    if (!rest.empty() && rest[0] == L'"') {
        const std::size_t close = rest.find(L'"', 1);
        i = close == std::wstring::npos ? rest.size() : close + 1;
    } else {
        while (i < rest.size() && rest[i] != L' ' && rest[i] != L'\t')
            ++i;
    }
    while (i < rest.size() && (rest[i] == L' ' || rest[i] == L'\t'))
        ++i;
    return rest.substr(i);
}

void record(const std::string& line) {
    wchar_t file[1024];
    const DWORD length = GetEnvironmentVariableW(L"VELMORA_STANDIN_RECORD", file, 1024);
    if (length == 0 || length >= 1024)
        return;
    const HANDLE out = CreateFileW(file, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(out);
}

} // namespace

int main() {
    using velmora::platform::win32::utf8Text;
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args != nullptr && count >= 3 && std::wstring(args[1]) == L"--sleep") {
        Sleep(static_cast<DWORD>(_wtoi(args[2])) * 1000);
        return 0;
    }
    if (args != nullptr && count >= 2 && std::wstring(args[1]) == L"--folder") {
        record(velmora::platform::executableFolder());
        return 0;
    }
    std::string line = utf8Text(parameterString(GetCommandLineW()));
    for (int i = 1; args != nullptr && i < count; ++i)
        line += '\x1f' + utf8Text(args[i]);
    record(line);
    LocalFree(args);
    return 0;
}
