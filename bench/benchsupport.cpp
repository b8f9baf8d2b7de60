#include "benchsupport.h"

#include <QDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velmora::bench {

namespace {

std::mutex scratchMutex;
std::string scratchRoot; // removed at the end, on failure and on a stop signal
ServerFolders serverScratch;

// Ends the run at once, with the scratch folder removed: workers may still be
// inside a batch, so no static destructor runs after this. The lock is held to
// the exit, so that of a failure and a stop signal at the same time only the
// first one speaks.
[[noreturn]] void endRun(int status, const std::string& message) {
    std::lock_guard lock(scratchMutex);
    std::fflush(stdout);
    std::fprintf(stderr, "copybench: %s\n", message.c_str());
    std::error_code ignored;
    if (!scratchRoot.empty())
        std::filesystem::remove_all(scratchRoot, ignored);
    for (const std::string& folder : serverScratch.shares)
        std::filesystem::remove_all(folder, ignored);
    if (!serverScratch.mount.empty())
        ::umount2(serverScratch.mount.c_str(), MNT_DETACH);
    if (!serverScratch.root.empty())
        std::filesystem::remove_all(serverScratch.root, ignored);
    std::_Exit(status);
}

// The stop signals, blocked in every thread of the program; one thread of its
// own takes them, so that a run stopped with Ctrl-C leaves no gigabytes of
// copies behind. A closed output pipe must not end the run before that either.
sigset_t stopSignals() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    return mask;
}

void removeScratchOnStopSignal() {
    std::thread([] {
        const sigset_t mask = stopSignals();
        int received = 0;
        if (sigwait(&mask, &received) != 0)
            return;
        endRun(128 + received, "stopped by signal " + std::to_string(received));
    }).detach();
}

std::string makeScratchRoot() {
    const char* given = std::getenv("VELMORA_BENCH_DIR");
    const std::string parent =
        given != nullptr && *given != '\0' ? given : QDir::tempPath().toStdString();
    std::string path = parent + "/velmora-copybench-XXXXXX";
    if (::mkdtemp(path.data()) == nullptr)
        fail("cannot create a scratch folder under " + parent + ": " + std::strerror(errno));
    return path;
}

} // namespace

void blockStopSignals() {
    const sigset_t mask = stopSignals();
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

std::string startScratch() {
    std::string root = makeScratchRoot();
    {
        std::lock_guard lock(scratchMutex);
        scratchRoot = root;
    }
    removeScratchOnStopSignal();
    return root;
}

[[noreturn]] void fail(const std::string& what) {
    endRun(1, "FAILED: " + what);
}

ServerScratch::ServerScratch(ServerFolders folders) {
    std::lock_guard lock(scratchMutex);
    serverScratch = std::move(folders);
}

ServerScratch::~ServerScratch() {
    std::lock_guard lock(scratchMutex);
    serverScratch = {};
}

void removeScratch() {
    std::lock_guard lock(scratchMutex);
    if (scratchRoot.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(scratchRoot, ignored);
    scratchRoot.clear();
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double megabytesPerSecond(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0;
}

std::string makeFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error)
        fail("cannot create " + path + ": " + error.message());
    return path;
}

std::vector<std::string> makeFolders(const std::string& parent, int count) {
    std::vector<std::string> folders;
    for (int i = 1; i <= count; ++i)
        folders.push_back(makeFolder(parent + "/srv" + std::to_string(i)));
    return folders;
}

// Empties every folder of the sets, then flushes what is still dirty. The
// copies go before the flush, so that their unwritten data is dropped, not
// written out.
void clearFolders(std::initializer_list<const std::vector<std::string>*> sets) {
    for (const std::vector<std::string>* folders : sets) {
        for (const std::string& folder : *folders) {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(folder, error))
                std::filesystem::remove_all(entry.path(), error);
            if (error)
                fail("cannot empty " + folder + ": " + error.message());
        }
    }
    ::sync();
}

void writeRandomFile(const std::string& path, std::uint64_t size) {
    std::mt19937_64 random(std::random_device{}());
    std::vector<std::uint64_t> block(kMiB / sizeof(std::uint64_t));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::uint64_t left = size; left > 0 && out;) {
        for (std::uint64_t& word : block)
            word = random();
        const std::uint64_t now = std::min<std::uint64_t>(left, kMiB);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(now));
        left -= now;
    }
    out.close();
    if (!out)
        fail("cannot write " + path);
}

bool sameContent(const std::string& path, const std::vector<char>& image) {
    std::error_code error;
    if (std::filesystem::file_size(path, error) != image.size() || error)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(kMiB);
    for (std::size_t done = 0; done < image.size();) {
        const std::size_t now = std::min<std::size_t>(chunk.size(), image.size() - done);
        if (!in.read(chunk.data(), static_cast<std::streamsize>(now)))
            return false;
        if (std::memcmp(chunk.data(), image.data() + done, now) != 0)
            return false;
        done += now;
    }
    return true;
}

std::string outputText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr std::size_t kTail = 1000;
    if (text.size() > kTail)
        text = "..." + text.substr(text.size() - kTail);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text.empty() ? "(nothing)" : text;
}

pid_t startProgram(const std::vector<std::string>& arguments, const std::string& outputFile) {
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    if (!outputFile.empty()) {
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
        posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    // The program gets the stop signals unblocked and as they were before, so
    // that a Ctrl-C stops it too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults = stopSignals();
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, argv[0], &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (error != 0)
        fail("cannot start " + arguments[0] + ": " + std::strerror(error));
    return pid;
}

void waitForProgram(pid_t pid, const std::string& name, const std::string& outputFile) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            fail(std::string("waitpid: ") + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(name + " failed with status " + std::to_string(status) +
             (outputFile.empty() ? "" : "; it printed: " + outputText(outputFile)));
}

namespace {

pid_t startCp(const std::string& from, const std::string& to) {
    return startProgram({"cp", from, to});
}

void waitForCp(pid_t pid) {
    waitForProgram(pid, "cp");
}

// The copies of cp are checked byte for byte as well: not that cp needs it,
// but so that every timed run, of either side, is followed by the same reading
// of its copies before the next one starts.
void checkCpCopies(const std::string& source, const std::vector<std::string>& folders,
                   const std::vector<char>& image) {
    const std::string name = std::filesystem::path(source).filename().string();
    for (const std::string& folder : folders) {
        if (!sameContent(folder + "/" + name, image))
            fail("cp: " + folder + "/" + name + " is not byte-identical to the source");
    }
}

std::string smbclientLog(const std::string& logFolder, const std::string& share) {
    return logFolder + "/smbclient-" + share + ".log";
}

} // namespace

double runCp(const std::string& source, const std::vector<std::string>& folders, bool parallel) {
    const Clock::time_point start = Clock::now();
    std::vector<pid_t> running;
    for (const std::string& folder : folders) {
        running.push_back(startCp(source, folder + "/"));
        if (!parallel) {
            waitForCp(running.back());
            running.clear();
        }
    }
    for (pid_t pid : running)
        waitForCp(pid);
    return secondsSince(start);
}

double timedCp(const std::string& source, const std::vector<std::string>& folders,
               const std::vector<char>& image, bool parallel) {
    const double seconds = runCp(source, folders, parallel);
    checkCpCopies(source, folders, image);
    return seconds;
}

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::uint64_t statusKilobytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::strtoull(line.c_str() + field.size() + 1, nullptr, 10);
    }
    fail("/proc/self/status has no " + field);
}

double mebibytes(std::uint64_t kilobytes) {
    return static_cast<double>(kilobytes) / 1024.0;
}

bool resetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    return static_cast<bool>(clear);
}

std::string roundsText(const std::vector<double>& values) {
    std::string text;
    for (double value : values) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, " %.3f", value);
        text += buffer;
    }
    return text;
}

Rounds interleavedRounds(const std::function<double()>& ours, const std::function<double()>& peer,
                         double budgetSeconds) {
    constexpr int kRounds = 3;
    Rounds rounds;
    rounds.budget = budgetSeconds;
    for (int round = 0; round < kRounds; ++round) {
        const Clock::time_point start = Clock::now();
        if (round % 2 == 0) {
            rounds.ours.push_back(ours());
            rounds.peer.push_back(peer());
        } else {
            rounds.peer.push_back(peer());
            rounds.ours.push_back(ours());
        }
        if (round == 0) {
            rounds.firstRound = secondsSince(start);
            if (rounds.firstRound * kRounds > budgetSeconds)
                break;
        }
    }
    return rounds;
}

std::string roundsNote(const Rounds& rounds, const std::string& ourName,
                       const std::string& peerName) {
    char text[200];
    if (rounds.ours.size() > 1)
        std::snprintf(text, sizeof text, "median of %zu (%s%s; %s%s)", rounds.ours.size(),
                      ourName.c_str(), roundsText(rounds.ours).c_str(), peerName.c_str(),
                      roundsText(rounds.peer).c_str());
    else
        std::snprintf(text, sizeof text,
                      "one round (it took %.0f s; 3 would take more than the %.0f s allowed)",
                      rounds.firstRound, rounds.budget);
    return text;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

int processorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return static_cast<int>(std::thread::hardware_concurrency());
    return CPU_COUNT(&set);
}

double runSmbclient(const std::string& source, const std::string& name,
                    const std::vector<std::string>& shares, int port, const std::string& logFolder,
                    bool parallel) {
    // smbclient reads its commands with its own quoting: the path goes in
    // double quotes, so that a folder with a blank in its name works too.
    const std::string command = "put \"" + source + "\" " + name;
    const Clock::time_point start = Clock::now();
    std::vector<std::pair<pid_t, std::string>> running; // and the share
    for (const std::string& share : shares) {
        const pid_t pid = startProgram(
            {"smbclient", "//127.0.0.1/" + share, "-p", std::to_string(port), "-N", "-c", command},
            smbclientLog(logFolder, share));
        running.emplace_back(pid, share);
        if (!parallel) {
            waitForProgram(pid, "smbclient put to " + share, smbclientLog(logFolder, share));
            running.clear();
        }
    }
    for (const auto& [pid, share] : running)
        waitForProgram(pid, "smbclient put to " + share, smbclientLog(logFolder, share));
    return secondsSince(start);
}

void checkSmbclientCopies(const std::vector<std::string>& folders, const std::string& name,
                          const std::vector<char>& image, const std::string& logFolder,
                          const std::vector<std::string>& shares) {
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string copy = folders[i] + "/" + name;
        if (!sameContent(copy, image))
            fail("smbclient: " + copy +
                 " is not byte-identical to the source; smbclient printed: " +
                 outputText(smbclientLog(logFolder, shares[i])));
    }
}

} // namespace velmora::bench
