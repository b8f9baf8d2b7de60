// The copy benchmark: runs copy batches through TKopirajStart and TKopiraj the
// way the window does, without widgets, and prints figures against a peer
// measured in the same run. Every batch is checked afterwards (each row marked
// copied, each copy byte for byte the source); a failed check ends the program
// with status 1, because a figure of a broken copy means nothing. No figure is
// judged.
//
// Usage: velmora_copybench [MiB]          parts a to d (default 256 MiB)
//        velmora_copybench wan [MiB]      over the delaying proxy (default 64 MiB)
//        velmora_copybench local [MiB]    8 local folders against cp (default 256 MiB)
//        velmora_copybench scale [MiB]    200 folders over the proxy (default 4 MiB)
// The files go to a fresh folder under $VELMORA_BENCH_DIR, or else under the
// temporary folder ($TMPDIR or /tmp), and are removed at the end.

#include "app/formats.h"
#include "benchparts.h"
#include "benchsupport.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace velmora::bench;

struct Command {
    const char* name; // nullptr for the classic run
    std::uint64_t defaultMiB;
    void (*run)(const std::string& root, std::uint64_t fileMiB);
};

constexpr Command kCommands[] = {
    {nullptr, 256, classicRun},
    {"wan", 64, wanPart},
    {"local", 256, localPart},
    {"scale", 4, scalePart},
};

[[noreturn]] void usage() {
    std::fprintf(stderr, "usage: velmora_copybench [wan|local|scale] [file size in MiB]\n");
    std::exit(2);
}

std::uint64_t sizeArgument(const char* text) {
    char* end = nullptr;
    const unsigned long long mib = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || mib == 0 || mib > 64 * 1024)
        usage();
    return mib;
}

} // namespace

int main(int argc, char** argv) {
    blockStopSignals(); // before any thread, so that all of them inherit it
#ifdef VELMORA_SMB_HELPER_PATH
    // The SMB helper of this build, unless the caller names another one.
    ::setenv("VELMORA_SMB_HELPER", VELMORA_SMB_HELPER_PATH, 0);
#endif
    QCoreApplication application(argc, argv);
    velmora::app::applyProgramFormats();

    const Command* command = &kCommands[0];
    int next = 1;
    if (argc > 1) {
        for (const Command& candidate : kCommands)
            if (candidate.name != nullptr && std::strcmp(argv[1], candidate.name) == 0)
                command = &candidate;
        if (command->name != nullptr)
            next = 2;
    }
    if (argc > next + 1)
        usage();
    const std::uint64_t fileMiB = argc > next ? sizeArgument(argv[next]) : command->defaultMiB;

    const std::string root = startScratch();
    std::printf("Velmora copy benchmark%s%s   files in %s\n\n", command->name ? ": " : "",
                command->name ? command->name : "", root.c_str());
    std::fflush(stdout);
    const Clock::time_point start = Clock::now();
    command->run(root, fileMiB);
    std::printf("\nEvery batch checked: each row marked copied, each copy byte-identical to the "
                "source. Run time %.1f s.\n",
                secondsSince(start));
    removeScratch();
    return 0;
}
