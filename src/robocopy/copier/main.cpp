// velmora-copier SOURCE TARGET NAME [/Z]
//
// The console copy tool that the window hands one file's copy to where robocopy
// is not at hand. It copies SOURCE\NAME to TARGET\NAME and ends, as robocopy
// does, with 0 (nothing to copy), 1 (copied), 8 (failed) or 16 (bad usage).
#include "platform/commandline.h"
#include "restartablecopy.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/widetext.h"

#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

using velmora::robocopy::CopyListener;
using velmora::robocopy::CopyOutcome;
using velmora::robocopy::CopyRequest;
using velmora::robocopy::CopyResult;

constexpr int kExitUpToDate = 0;
constexpr int kExitCopied = 1;
constexpr int kExitFailed = 8;
constexpr int kExitUsage = 16;

constexpr const char* kRule =
    "-------------------------------------------------------------------------------\n";

// The arguments after the program's name. On Windows the C runtime would take
// the backslash of "C:\" before a quote as an escape, so the command line is
// split by the copy tools' own rule instead; it is read in UTF-16, as the
// system keeps it, so that no name is lost to the ANSI code page.
std::vector<std::string> programArguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    std::vector<std::string> args =
        velmora::platform::splitParameters(velmora::platform::win32::utf8Text(GetCommandLineW()));
    if (!args.empty())
        args.erase(args.begin());
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

// Options are case-insensitive, as the copy tools take them.
bool isRestartableOption(const std::string& arg) {
    return arg == "/Z" || arg == "/z";
}

// The first three arguments are the paths (a Linux path begins with "/" too),
// the rest options.
std::optional<CopyRequest> parseArguments(const std::vector<std::string>& args,
                                          std::string& problem) {
    if (args.size() < 3) {
        problem = "three arguments expected: SOURCE DESTINATION FILE";
        return std::nullopt;
    }
    CopyRequest request{args[0], args[1], args[2], false};
    if (request.sourceFolder.empty() || request.targetFolder.empty() || request.name.empty()) {
        problem = "an empty SOURCE, DESTINATION or FILE";
        return std::nullopt;
    }
    for (std::size_t i = 3; i < args.size(); ++i) {
        if (!isRestartableOption(args[i])) {
            problem = "unknown option \"" + args[i] + "\"";
            return std::nullopt;
        }
        request.restartable = true;
    }
    return request;
}

void printUsage(const std::string& problem) {
    std::printf("ERROR: %s\n\n", problem.c_str());
    std::printf("Usage: velmora-copier SOURCE DESTINATION FILE [/Z]\n\n"
                "  SOURCE       the folder that holds the file\n"
                "  DESTINATION  the folder to copy it to: local, or \\\\host\\share\\folder\n"
                "  FILE         the file's name\n"
                "  /Z           restartable mode: a copy that was cut off goes on where it\n"
                "               stopped\n\n"
                "Exit codes: 0 nothing to copy, 1 copied, 8 failed, 16 bad usage.\n");
}

void printHeader(const CopyRequest& request) {
    std::printf("%s   velmora-copier :: one file to one folder\n%s\n", kRule, kRule);
    std::printf("   Source : %s\n", request.sourceFolder.c_str());
    std::printf("     Dest : %s\n", request.targetFolder.c_str());
    std::printf("     File : %s\n", request.name.c_str());
    std::printf("     Mode : %s\n\n%s\n",
                request.restartable ? "restartable (/Z)" : "normal (starts over)", kRule);
    std::fflush(stdout);
}

// "\r  42.7%": the share of the file written, in tenths of a percent, rounded
// down so that 100.0% means done. Written only when the text changes.
class ProgressLine {
public:
    void show(std::uint64_t done, std::uint64_t total) {
        const auto tenths = total == 0
                                ? 1000u
                                : static_cast<unsigned>(static_cast<long double>(done) * 1000 /
                                                        static_cast<long double>(total));
        char text[16];
        std::snprintf(text, sizeof text, "\r%4u.%u%%", tenths / 10, tenths % 10);
        if (last_ == text)
            return;
        last_ = text;
        std::fputs(text, stdout);
        std::fflush(stdout);
    }
    // Ends the progress line, if there is one, before other output.
    void finish() {
        if (!last_.empty())
            std::fputs("\n", stdout);
        last_.clear();
    }

private:
    std::string last_;
};

std::string elapsedText(std::chrono::steady_clock::duration elapsed) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

const char* resultText(CopyResult result) {
    switch (result) {
    case CopyResult::UpToDate:
        return "nothing to copy";
    case CopyResult::Copied:
        return "copied";
    case CopyResult::Failed:
        break;
    }
    return "failed";
}

void printSummary(const CopyOutcome& outcome, std::chrono::steady_clock::duration elapsed,
                  int exitCode) {
    std::printf("\n%s\n", kRule);
    std::printf("   Copied : %llu bytes\n", static_cast<unsigned long long>(outcome.copiedBytes));
    std::printf("  Resumed : %llu bytes\n", static_cast<unsigned long long>(outcome.resumedBytes));
    std::printf("  Elapsed : %s\n", elapsedText(elapsed).c_str());
    std::printf("   Result : %s (exit code %d)\n", resultText(outcome.result), exitCode);
    std::fflush(stdout);
}

// True when the console window was opened for this program alone (a terminal
// started it directly, not a shell in it), so that the window goes as soon as
// the program ends.
bool ownsItsWindow() {
#ifdef _WIN32
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
#else
    return ::isatty(STDIN_FILENO) == 1 && ::getsid(0) == ::getpid();
#endif
}

// Keeps a failure readable in a window that would close with the program: waits
// for Enter. On Linux the wait runs in a shell that replaces this program, so
// that the tool file is free for the next robocopy run while the window stands.
void holdWindowUntilEnter() {
    std::printf("\nPress Enter to close this window.\n");
    std::fflush(stdout);
#ifndef _WIN32
    ::execl("/bin/sh", "sh", "-c", "read -r line", static_cast<char*>(nullptr));
#endif
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
    }
}

int exitCodeOf(CopyResult result) {
    switch (result) {
    case CopyResult::UpToDate:
        return kExitUpToDate;
    case CopyResult::Copied:
        return kExitCopied;
    case CopyResult::Failed:
        break;
    }
    return kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Names and the system's texts are printed in UTF-8 (widetext.h).
    SetConsoleOutputCP(CP_UTF8);
#endif
    std::string problem;
    const std::optional<CopyRequest> request =
        parseArguments(programArguments(argc, argv), problem);
    if (!request) {
        printUsage(problem);
        return kExitUsage;
    }

    printHeader(*request);
    const auto started = std::chrono::steady_clock::now();
    ProgressLine progress;
    CopyListener listener;
    listener.restarting = [](std::uint64_t offset) {
        std::printf("  Restarting at %llu bytes\n", static_cast<unsigned long long>(offset));
        std::fflush(stdout);
    };
    listener.progress = [&progress](std::uint64_t done, std::uint64_t total) {
        progress.show(done, total);
    };
    const CopyOutcome outcome = velmora::robocopy::copyFile(*request, listener);
    progress.finish();

    switch (outcome.result) {
    case CopyResult::UpToDate:
        std::printf("  The destination file has the source's size and time stamp: nothing to "
                    "copy.\n");
        break;
    case CopyResult::Copied:
        if (!outcome.warning.empty())
            std::printf("  WARNING: %s\n", outcome.warning.c_str());
        break;
    case CopyResult::Failed:
        std::printf("ERROR: %s: %s\n", outcome.failedStep.c_str(), outcome.error.message.c_str());
        if (outcome.restoredBackup)
            std::printf("  The previous copy _%s is back in place as %s.\n", request->name.c_str(),
                        request->name.c_str());
        break;
    }
    const int exitCode = exitCodeOf(outcome.result);
    printSummary(outcome, std::chrono::steady_clock::now() - started, exitCode);
    if (outcome.result == CopyResult::Failed && ownsItsWindow())
        holdWindowUntilEnter();
    return exitCode;
}
