#pragma once

#include "support/scratchfolder.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace velmora::testsupport {

// A terminal for the duration of a test: $TERMINAL names a script that records
// every invocation (its arguments, as one line) and, when asked to, then runs
// the program it was given with "-e" as a real terminal would. It runs only a
// program named by its full path (a tool the test has written), never one it
// would look up (ping), and nothing with a network path other than
// \\127.0.0.1: a test never reaches beyond this machine. The script's name
// can be that of a real terminal, for what the program hands to that one.
class StandInTerminal {
public:
    // RecordAndRunLater: like the terminals that hand the program to a server
    // process and return at once, it starts the program laterSeconds after it
    // has ended itself.
    enum class Mode { RecordOnly, RecordAndRun, RecordAndRunLater };

    StandInTerminal(Mode mode, const std::string& name) : StandInTerminal(mode, 0.3, name) {}
    explicit StandInTerminal(Mode mode = Mode::RecordOnly, double laterSeconds = 0.3,
                             const std::string& name = "terminal")
        : folder_("velmora-terminal") {
        if (const char* saved = std::getenv("TERMINAL"))
            saved_ = saved;
        record_ = folder_.path() + "/invocations";
        script_ = folder_.path() + "/" + name;
        const std::string& script = script_;
        {
            std::ofstream out(script);
            out << "#!/bin/sh\n"
                << "line=''\n"
                << "for a in \"$@\"; do line=\"$line$a\037\"; done\n"
                << "printf '%s\\n' \"$line\" >> '" << record_ << "'\n";
            if (mode != Mode::RecordOnly)
                // The program follows -e (-x for some terminals), after any
                // options of the terminal's own (-hold).
                out << "while [ $# -gt 0 ] && [ \"$1\" != -e ] && [ \"$1\" != -x ]; do shift; done\n"
                    << "shift\n"
                    << "case \"$1\" in /*) ;; *) exit 0 ;; esac\n"
                    << "for a in \"$@\"; do\n"
                    << "  case \"$a\" in '\\\\127.0.0.1\\'* | '\\\\127.0.0.1') ;;\n"
                    << "  '\\\\'* | '//'*) exit 0 ;; esac\n"
                    << "done\n";
            if (mode == Mode::RecordAndRun)
                out << "exec \"$@\"\n";
            if (mode == Mode::RecordAndRunLater)
                out << "(sleep " << laterSeconds << "; exec \"$@\") >/dev/null 2>&1 &\n";
        }
        ::chmod(script.c_str(), 0755);
        ::setenv("TERMINAL", script.c_str(), 1);
    }
    ~StandInTerminal() {
        if (saved_)
            ::setenv("TERMINAL", saved_->c_str(), 1);
        else
            ::unsetenv("TERMINAL");
    }
    StandInTerminal(const StandInTerminal&) = delete;
    StandInTerminal& operator=(const StandInTerminal&) = delete;

    // The recording script, to stand in for other programs too (the opener).
    const std::string& script() const { return script_; }

    using Arguments = std::vector<std::string>;

    // The first count invocations, once they have all been recorded (10 s at
    // most; fewer come back if they do not arrive).
    std::vector<Arguments> invocations(std::size_t count) const {
        std::vector<Arguments> got;
        for (int i = 0; i < 500; ++i) {
            got = readAll();
            if (got.size() >= count)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return got;
    }

    // Every invocation recorded so far.
    std::vector<Arguments> readAll() const {
        std::vector<Arguments> got;
        std::ifstream in(record_);
        std::string line;
        while (std::getline(in, line)) {
            Arguments args;
            std::string arg;
            for (char c : line) {
                if (c == '\037') {
                    args.push_back(arg);
                    arg.clear();
                } else {
                    arg += c;
                }
            }
            got.push_back(args);
        }
        return got;
    }

private:
    ScratchFolder folder_;
    std::string record_;
    std::string script_;
    std::optional<std::string> saved_;
};

} // namespace velmora::testsupport
