// The copy benchmark: runs copy batches through TKopirajStart and TKopiraj the
// way the window does, without widgets, and prints four figures from one run:
//   a. throughput of one file to 8 local folders against cp doing the same,
//   b. processor time while a dispatcher waits for a free slot,
//   c. resident memory while 50 copy workers are alive on one file,
//   d. throughput of one file to 8 shares of a private Samba server on 127.0.0.1
//      against smbclient doing the same (skipped when the server cannot start).
// Every batch is checked afterwards (each row marked copied, each copy byte for
// byte the source); a failed check ends the program with status 1, because a
// figure of a broken copy means nothing. No figure is judged.
//
// Usage: velmora_copybench [MiB]   the file size of parts a and d (default 256);
// part c uses 64 MiB or that size when smaller. The files go to a fresh folder
// under $VELMORA_BENCH_DIR, or else under the temporary folder ($TMPDIR or /tmp),
// and are removed at the end; the copies of part d go to the Samba server's own
// temporary folder, which goes with the server.

#include "app/formats.h"
#include "batch/batchcontext.h"
#include "batch/kopirajstart.h"
#include "platform/filesystem.h"
#include "platform/localfilesystem.h"
#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"
#include "support/fakebatchwindow.h"
#include "support/faultyfilesystem.h"
#include "support/sambaserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace velmora;
using testsupport::FakeBatchWindow;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr int kThroughputFolders = 8;
constexpr int kRounds = 3;
constexpr int kMemoryWorkers = 50;
constexpr std::uint64_t kMemoryFileMiB = 64;
constexpr std::uint64_t kWaitFileMiB = 4;
constexpr int kWaitMeasureMs = 2000;
constexpr int kBatchTimeoutMs = 10 * 60 * 1000;
constexpr double kSmbSeconds = 60; // the rounds of part d after the first must fit in this

std::mutex scratchMutex;
std::string scratchRoot; // removed at the end, on failure and on a stop signal
// The folder of part d's Samba server while it runs, with the folders in it to
// remove first (its shares, which hold the copies) and the file system mounted
// in it, if any: the server's destructor removes all of it, but a failure or a
// stop signal ends the run without that.
struct ServerFolders {
    std::string root;
    std::vector<std::string> shares;
    std::string mount;
};
ServerFolders serverScratch;

void removeScratch() {
    std::lock_guard lock(scratchMutex);
    if (scratchRoot.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(scratchRoot, ignored);
    scratchRoot.clear();
}

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

[[noreturn]] void fail(const std::string& what) {
    endRun(1, "FAILED: " + what);
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

void blockStopSignals() {
    const sigset_t mask = stopSignals();
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
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

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Megabytes of 10^6 bytes per second.
double megabytesPerSecond(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0;
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

// What a program printed into a file, its last 1,000 characters at most.
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

// The main thread's wait for the batch threads. It sleeps in the event loop,
// woken by the workers' main-thread calls and by a 2 ms poll of the condition,
// so it takes neither a core from the copies nor processor time from the
// figure of part b (a loop of processEvents and short sleeps would take both).
bool runEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || elapsed.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

void runEventsFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The dispatcher has written its end (the free label) and no thread of the
// batch is left. The label keeps a batch whose dispatcher has not begun yet
// from passing for one that has ended.
bool batchEnded(const FakeBatchWindow& window, batch::BatchContext& context) {
    return !window.labels.isEmpty() && window.labels.back().first == batch::StateColour::Free &&
           context.state().liveDispatchers() == 0 && context.state().liveWorkers() == 0;
}

void holdFile(FakeBatchWindow& window, const std::string& path) {
    auto added = window.fileSet().add(path);
    if (!added || added.value() != fileset::FileSet::AddOutcome::Held)
        fail("cannot add " + path);
}

// Loads the folders as checked rows and starts a copy batch of the held file.
std::shared_ptr<batch::BatchContext>
startCopyBatch(FakeBatchWindow& window, const std::vector<std::string>& folders, int limit,
               batch::FileSystemResolver fileSystems = platform::fileSystemFor) {
    window.load(folders);
    window.memo1.clear();
    window.memo2.clear();
    window.labels.clear();
    auto context = std::make_shared<batch::BatchContext>(window, std::move(fileSystems));
    context->state().setLimit(limit);
    (new batch::TKopirajStart(context))->Start();
    return context;
}

// Waits for the batch's end, then checks every row and every copy. The copies
// are read in the local folders given, which are the rows' folders, or for
// network rows the folders the shares serve.
void finishCopyBatch(const std::string& what, FakeBatchWindow& window,
                     const std::shared_ptr<batch::BatchContext>& context,
                     const std::vector<std::string>& folders) {
    if (!runEventsUntil([&] { return batchEnded(window, *context); }, kBatchTimeoutMs))
        fail(what + ": the batch did not end within " + std::to_string(kBatchTimeoutMs / 1000) +
             " s");
    context->close();
    const serverlist::ServerListModel& lista = window.lista();
    const std::string name = std::filesystem::path(window.fileSet().path()).filename().string();
    for (int row = 0; row < lista.count(); ++row) {
        if (lista.mark(row) != serverlist::MarkCopied)
            fail(what + ": row " + std::to_string(row) + " (" + lista.caption(row) + ") has mark " +
                 std::to_string(lista.mark(row)) + ", not copied" +
                 (window.memo2.isEmpty() ? "" : "; log: " + window.memo2.first().toStdString()));
    }
    for (const std::string& folder : folders) {
        const std::string copy = folder + "/" + name;
        if (!sameContent(copy, *window.fileSet().image()))
            fail(what + ": " + copy + " is not byte-identical to the source");
        if (std::filesystem::exists(copy + "~"))
            fail(what + ": the temporary file " + copy + "~ was left behind");
    }
}

// A copy batch of the held file to the rows, with the program's own file
// systems; the copies are read back in diskFolders (see finishCopyBatch).
double timedCopyBatch(FakeBatchWindow& window, const std::vector<std::string>& rows, int limit,
                      const std::vector<std::string>& diskFolders) {
    const Clock::time_point start = Clock::now();
    auto context = startCopyBatch(window, rows, limit);
    if (!runEventsUntil([&] { return batchEnded(window, *context); }, kBatchTimeoutMs))
        fail("velmora copy: the batch did not end");
    const double seconds = secondsSince(start);
    finishCopyBatch("velmora copy", window, context, diskFolders);
    return seconds;
}

double timedCopyBatch(FakeBatchWindow& window, const std::vector<std::string>& folders, int limit) {
    return timedCopyBatch(window, folders, limit, folders);
}

// Starts a program found in PATH, with its output into outputFile when one is
// given (else the benchmark's own output).
pid_t startProgram(const std::vector<std::string>& arguments, const std::string& outputFile = {}) {
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

// Waits for a program and fails unless it exited with 0; what it printed into
// outputFile, when given, goes with the failure.
void waitForProgram(pid_t pid, const std::string& name, const std::string& outputFile = {}) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            fail(std::string("waitpid: ") + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(name + " failed with status " + std::to_string(status) +
             (outputFile.empty() ? "" : "; it printed: " + outputText(outputFile)));
}

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

// All cp processes at once when parallel, else one after another.
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

// The local file system, except that a file being written stops once holdAt
// bytes of it are in place and waits at the gate until it opens: a copy held
// mid-way, with its worker alive.
class HoldingFileSystem final : public platform::FileSystem {
public:
    explicit HoldingFileSystem(std::uint64_t holdAt) : holdAt_(holdAt) {}

    testsupport::Gate gate;

    platform::Result<std::vector<char>> readWholeFile(const std::string& path) override {
        return local_.readWholeFile(path);
    }
    platform::Result<platform::DirectoryEntry> findEntry(const std::string& path) override {
        return local_.findEntry(path);
    }
    bool fileExists(const std::string& path) override { return local_.fileExists(path); }
    bool directoryExists(const std::string& path) override { return local_.directoryExists(path); }
    platform::Result<std::unique_ptr<platform::WritableFile>>
    createForWriting(const std::string& path) override {
        return wrap(local_.createForWriting(path), 0);
    }
    platform::Result<std::unique_ptr<platform::WritableFile>>
    reopenForWriting(const std::string& path, std::uint64_t offset) override {
        return wrap(local_.reopenForWriting(path, offset), offset);
    }
    platform::Status deleteFile(const std::string& path) override {
        return local_.deleteFile(path);
    }
    platform::Status renameNoReplace(const std::string& from, const std::string& to) override {
        return local_.renameNoReplace(from, to);
    }
    bool replacesInOneStep(const std::string& path) override {
        return local_.replacesInOneStep(path);
    }
    platform::Status renameReplacing(const std::string& from, const std::string& to) override {
        return local_.renameReplacing(from, to);
    }
    platform::Status linkOrCopy(const std::string& from, const std::string& to) override {
        return local_.linkOrCopy(from, to);
    }
    platform::Status setLastWriteTime(const std::string& path, platform::DosTime time) override {
        return local_.setLastWriteTime(path, time);
    }

private:
    class File final : public platform::WritableFile {
    public:
        File(HoldingFileSystem& owner, std::unique_ptr<platform::WritableFile> inner,
             std::uint64_t position)
            : owner_(owner), inner_(std::move(inner)), position_(position) {}
        platform::Result<std::size_t> write(const char* data, std::size_t size) override {
            if (position_ >= owner_.holdAt_)
                owner_.gate.pass();
            auto written = inner_->write(data, size);
            if (written)
                position_ += written.value();
            return written;
        }
        platform::Result<std::size_t> writeStable(const char* data, std::size_t size) override {
            if (position_ >= owner_.holdAt_)
                owner_.gate.pass();
            auto written = inner_->writeStable(data, size);
            if (written)
                position_ += written.value();
            return written;
        }
        std::uint64_t acceptedBytes() const override { return inner_->acceptedBytes(); }
        void abandon() override { inner_->abandon(); }
        platform::Status reopenAt(std::uint64_t offset) override {
            position_ = offset;
            return inner_->reopenAt(offset);
        }
        platform::Status close() override { return inner_->close(); }

    private:
        HoldingFileSystem& owner_;
        std::unique_ptr<platform::WritableFile> inner_;
        std::uint64_t position_;
    };

    platform::Result<std::unique_ptr<platform::WritableFile>>
    wrap(platform::Result<std::unique_ptr<platform::WritableFile>> opened, std::uint64_t at) {
        if (!opened)
            return opened.error();
        return std::unique_ptr<platform::WritableFile>(
            std::make_unique<File>(*this, std::move(opened).value(), at));
    }

    std::uint64_t holdAt_;
    platform::LocalFileSystem local_;
};

double processCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A field of /proc/self/status in kB (VmRSS, VmHWM).
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

// Sets the peak resident size back to the current one, so that VmHWM tells the
// peak of what follows only (Linux 4.0 on); false where the system refuses.
bool resetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    return static_cast<bool>(clear);
}

// The time of every round, in the order run.
std::string roundsText(const std::vector<double>& values) {
    std::string text;
    for (double value : values) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, " %.3f", value);
        text += buffer;
    }
    return text;
}

void throughput(const std::string& root, std::uint64_t fileMiB) {
    const std::uint64_t size = fileMiB * kMiB;
    const std::string source = makeFolder(root + "/source") + "/throughput.bin";
    writeRandomFile(source, size);
    const auto velmoraFolders = makeFolders(root + "/velmora", kThroughputFolders);
    const auto cpFolders = makeFolders(root + "/cp", kThroughputFolders);

    FakeBatchWindow window;
    const Clock::time_point addStart = Clock::now();
    holdFile(window, source);
    const double addSeconds = secondsSince(addStart);

    // Every timed run starts alike: the copies of both sides gone, nothing
    // left to write back, and the same untimed pass run just before (8 cp at
    // once, removed again). The pass matters: a run that follows velmora's
    // 2 KiB writes finds the kernel's memory in another state than one that
    // follows cp, and cp's run was then several times slower. Each round runs
    // all three, the odd round in reverse order, so that neither side always
    // comes first.
    auto startAlike = [&] {
        clearFolders({&velmoraFolders, &cpFolders});
        (void)runCp(source, cpFolders, true);
        clearFolders({&cpFolders});
    };
    std::vector<double> velmora, cpParallel, cpSequential;
    for (int round = 0; round < kRounds; ++round) {
        const bool reverse = round % 2 == 1;
        if (!reverse) {
            startAlike();
            velmora.push_back(timedCopyBatch(window, velmoraFolders, kThroughputFolders));
        }
        startAlike();
        cpParallel.push_back(timedCp(source, cpFolders, *window.fileSet().image(), true));
        startAlike();
        cpSequential.push_back(timedCp(source, cpFolders, *window.fileSet().image(), false));
        if (reverse) {
            startAlike();
            velmora.push_back(timedCopyBatch(window, velmoraFolders, kThroughputFolders));
        }
    }
    clearFolders({&velmoraFolders, &cpFolders});

    const std::uint64_t total = size * kThroughputFolders;
    const double v = median(velmora);
    const double p = median(cpParallel);
    const double s = median(cpSequential);
    std::printf("a. Throughput: one %llu MiB file of random bytes to %d local folders, "
                "median of %d rounds (1 MB = 10^6 bytes)\n",
                static_cast<unsigned long long>(fileMiB), kThroughputFolders, kRounds);
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "velmora, TKopirajStart, limit 8", v,
                megabytesPerSecond(total, v), roundsText(velmora).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "cp, 8 processes at once", p,
                megabytesPerSecond(total, p), roundsText(cpParallel).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "cp, 8 processes one after another", s,
                megabytesPerSecond(total, s), roundsText(cpSequential).c_str());
    std::printf("   velmora/cp time ratio: %.2f\n", p > 0 ? v / p : 0);
    std::printf("   velmora/sequential cp time ratio: %.2f\n", s > 0 ? v / s : 0);
    std::printf("   %-44s %8.3f s   (before the batch, not in its time)\n",
                "velmora Add, reading the file into memory", addSeconds);
}

void cpuWhileWaiting(const std::string& root, std::uint64_t fileMiB) {
    const std::uint64_t size = fileMiB * kMiB;
    const std::string source = makeFolder(root + "/source") + "/wait.bin";
    writeRandomFile(source, size);
    const auto folders = makeFolders(root + "/wait", 3);

    FakeBatchWindow window;
    holdFile(window, source);
    HoldingFileSystem held(size / 2);
    held.gate.shut();
    auto context = startCopyBatch(
        window, folders, 2, [&](const std::string&) -> platform::FileSystem& { return held; });
    if (!runEventsUntil([&] { return held.gate.waiting() == 2; }, 30000))
        fail("CPU while waiting: the two copies did not reach the shut gate");
    runEventsFor(100); // lets the dispatcher reach its wait for the third row

    const double cpuStart = processCpuSeconds();
    const Clock::time_point start = Clock::now();
    runEventsFor(kWaitMeasureMs);
    const double wall = secondsSince(start);
    const double cpu = processCpuSeconds() - cpuStart;

    // The third row must still be waiting: otherwise the figure is not of a wait.
    if (context->state().liveWorkers() != 2 || context->state().liveDispatchers() != 1 ||
        window.lista().mark(2) != serverlist::MarkUnknown)
        fail("CPU while waiting: the dispatcher did not wait for a free slot");
    held.gate.open();
    finishCopyBatch("CPU while waiting", window, context, folders);

    std::printf("b. CPU while waiting: limit 2, 3 rows, 2 copies held mid-way by a shut gate, "
                "the dispatcher waiting for a slot\n");
    std::printf("   %-44s %8.3f s over %.3f s of waiting = %.2f%% of one core\n",
                "process CPU time (user+sys)", cpu, wall, wall > 0 ? cpu / wall * 100 : 0);
}

void memoryWithLiveWorkers(const std::string& root, std::uint64_t fileMiB) {
    const std::uint64_t size = fileMiB * kMiB;
    const std::string source = makeFolder(root + "/source") + "/memory.bin";
    writeRandomFile(source, size);
    const auto folders = makeFolders(root + "/memory", kMemoryWorkers);

    // Memory the earlier parts freed but the allocator kept goes back first, so
    // that the image read at Add cannot hide in it and the growth tells it all.
    ::malloc_trim(0);
    const bool peakReset = resetPeakMemory();
    const std::uint64_t before = statusKilobytes("VmRSS");
    FakeBatchWindow window;
    holdFile(window, source);
    const std::uint64_t afterAdd = statusKilobytes("VmRSS");
    HoldingFileSystem held(size / 2);
    held.gate.shut();
    auto context =
        startCopyBatch(window, folders, kMemoryWorkers,
                       [&](const std::string&) -> platform::FileSystem& { return held; });
    if (!runEventsUntil([&] { return held.gate.waiting() == kMemoryWorkers; }, 60000))
        fail("peak memory: the copies did not all reach the shut gate (" +
             std::to_string(held.gate.waiting()) + " did)");
    runEventsFor(100);
    const std::uint64_t alive = statusKilobytes("VmRSS");
    const std::uint64_t peak = statusKilobytes("VmHWM");
    const int liveWorkers = context->state().liveWorkers();
    held.gate.open();
    finishCopyBatch("peak memory", window, context, folders);
    if (liveWorkers != kMemoryWorkers)
        fail("peak memory: " + std::to_string(liveWorkers) + " workers were alive, not " +
             std::to_string(kMemoryWorkers));
    clearFolders({&folders});

    const double file = static_cast<double>(fileMiB);
    const double growth = mebibytes(alive) - mebibytes(before);
    const double workers = mebibytes(alive) - mebibytes(afterAdd);
    std::printf("c. Peak memory: %d live copy workers on one %llu MiB file, each held mid-way "
                "by a shut gate\n",
                kMemoryWorkers, static_cast<unsigned long long>(fileMiB));
    std::printf("   %-44s %8.1f MiB\n", "resident before the Add (VmRSS)", mebibytes(before));
    std::printf("   %-44s %8.1f MiB\n", "resident after the Add", mebibytes(afterAdd));
    std::printf("   %-44s %8.1f MiB\n", "resident with 50 workers alive", mebibytes(alive));
    std::printf("   %-44s %8.1f MiB%s\n", "peak resident (VmHWM)", mebibytes(peak),
                peakReset ? " (reset before the Add)" : " (of the whole run: could not reset)");
    std::printf("   growth over the batch: %.1f MiB = %.2fx the file size\n", growth,
                growth / file);
    std::printf("   growth from the 50 workers alone: %.1f MiB = %.2fx the file size\n", workers,
                workers / file);
}

// The folders of part d's server, registered for removal should the run end
// without the server's destructor; forgotten again before that runs.
class ServerScratch {
public:
    explicit ServerScratch(ServerFolders folders) {
        std::lock_guard lock(scratchMutex);
        serverScratch = std::move(folders);
    }
    ~ServerScratch() {
        std::lock_guard lock(scratchMutex);
        serverScratch = {};
    }
    ServerScratch(const ServerScratch&) = delete;
    ServerScratch& operator=(const ServerScratch&) = delete;
};

std::string smbclientLog(const std::string& logFolder, const std::string& share) {
    return logFolder + "/smbclient-" + share + ".log";
}

// 8 smbclient processes, each putting the file onto its share as the name
// given: all at once when parallel, else one after another. Their output goes
// to a file per share in logFolder, shown when one fails.
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

// smbclient can end with status 0 without having written the file (a refused
// open is only printed), so its copies are read back like velmora's.
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

void smbThroughput(const std::string& root, std::uint64_t fileMiB) {
    std::string whyNot;
    std::unique_ptr<testsupport::SambaServer> server = testsupport::SambaServer::start(&whyNot);
    if (!server) {
        std::printf("d. SMB throughput: SKIPPED, the private Samba server did not start:\n");
        std::string line;
        for (std::istringstream lines(whyNot); std::getline(lines, line);)
            std::printf("   %s\n", line.c_str());
        return;
    }
    // The helper processes read these at every request. The user's own
    // credentials file must not decide how the guest shares are reached.
    ::setenv("VELMORA_SMB_PORT", std::to_string(server->port()).c_str(), 1);
    ::setenv("VELMORA_SMB_CREDENTIALS", (root + "/no-smb-credentials").c_str(), 1);

    std::vector<std::string> shares, rows, folders;
    for (int i = 1; i <= kThroughputFolders; ++i) {
        shares.push_back("b" + std::to_string(i));
        rows.push_back(server->unc(shares.back()));
        folders.push_back(server->shareFolder(shares.back()));
    }
    const ServerScratch registered(
        {server->root(), folders, server->hasFullShare() ? server->shareFolder("full") : ""});

    // Both sides write the same name onto the same shares, one run at a time,
    // so that each writes into empty shares of the same server.
    const std::uint64_t size = fileMiB * kMiB;
    const std::string sourceFolder = makeFolder(root + "/smb");
    const std::string name = "prog.exe";
    const std::string source = sourceFolder + "/" + name;
    writeRandomFile(source, size);
    FakeBatchWindow window;
    holdFile(window, source);
    const std::vector<char>& image = *window.fileSet().image();

    // Every timed run starts with the shares emptied and the disk flushed; the
    // odd round runs the four in reverse order.
    std::vector<double> velmoraOne, velmoraAll, smbSequential, smbParallel;
    auto runOne = [&](int which) {
        clearFolders({&folders});
        switch (which) {
        case 0:
            velmoraOne.push_back(timedCopyBatch(window, rows, 1, folders));
            break;
        case 1:
            velmoraAll.push_back(timedCopyBatch(window, rows, kThroughputFolders, folders));
            break;
        case 2:
            smbSequential.push_back(
                runSmbclient(source, name, shares, server->port(), sourceFolder, false));
            checkSmbclientCopies(folders, name, image, sourceFolder, shares);
            break;
        default:
            smbParallel.push_back(
                runSmbclient(source, name, shares, server->port(), sourceFolder, true));
            checkSmbclientCopies(folders, name, image, sourceFolder, shares);
            break;
        }
    };
    // A round of the full size takes most of a minute on 2 cores (the worker
    // reopens its file every 64 KiB, and over SMB each reopen is an open, a
    // write and a close on the server): the other rounds run only when they fit
    // in the time this part may take, else the figures are of the one round.
    int rounds = 0;
    double firstRound = 0;
    for (; rounds < kRounds; ++rounds) {
        const Clock::time_point roundStart = Clock::now();
        const bool reverse = rounds % 2 == 1;
        for (int step = 0; step < 4; ++step)
            runOne(reverse ? 3 - step : step);
        if (rounds == 0) {
            firstRound = secondsSince(roundStart);
            if (firstRound * kRounds > kSmbSeconds) {
                rounds = 1;
                break;
            }
        }
    }
    clearFolders({&folders});

    const std::uint64_t total = size * kThroughputFolders;
    const double v1 = median(velmoraOne);
    const double v8 = median(velmoraAll);
    const double s = median(smbSequential);
    const double p = median(smbParallel);
    char roundsLine[160];
    if (rounds == kRounds)
        std::snprintf(roundsLine, sizeof roundsLine, "median of %d rounds", kRounds);
    else
        std::snprintf(roundsLine, sizeof roundsLine,
                      "one round (it took %.0f s; %d would take more than the %.0f s allowed)",
                      firstRound, kRounds, kSmbSeconds);
    std::printf("d. SMB throughput: one %llu MiB file of random bytes to %d shares of a private "
                "Samba server on 127.0.0.1, %s\n",
                static_cast<unsigned long long>(fileMiB), kThroughputFolders, roundsLine);
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "velmora, TKopirajStart, limit 1", v1,
                megabytesPerSecond(total, v1), roundsText(velmoraOne).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "smbclient put, 8 one after another",
                s, megabytesPerSecond(total, s), roundsText(smbSequential).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "velmora, TKopirajStart, limit 8", v8,
                megabytesPerSecond(total, v8), roundsText(velmoraAll).c_str());
    std::printf("   %-44s %8.3f s %9.1f MB/s   rounds:%s\n", "smbclient put, 8 processes at once",
                p, megabytesPerSecond(total, p), roundsText(smbParallel).c_str());
    std::printf("   velmora limit 1/sequential smbclient time ratio: %.2f\n", s > 0 ? v1 / s : 0);
    std::printf("   velmora limit 8/parallel smbclient time ratio: %.2f\n", p > 0 ? v8 / p : 0);
}

std::uint64_t fileSizeArgument(int argc, char** argv) {
    if (argc == 1)
        return 256;
    char* end = nullptr;
    const unsigned long long mib = argc == 2 ? std::strtoull(argv[1], &end, 10) : 0;
    if (argc > 2 || end == argv[1] || *end != '\0' || mib == 0 || mib > 64 * 1024) {
        std::fprintf(stderr, "usage: velmora_copybench [file size in MiB, default 256]\n");
        std::exit(2);
    }
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
    app::applyProgramFormats();
    const std::uint64_t fileMiB = fileSizeArgument(argc, argv);

    scratchRoot = makeScratchRoot();
    removeScratchOnStopSignal();
    std::printf("Velmora copy benchmark   files in %s\n\n", scratchRoot.c_str());
    std::fflush(stdout);
    const Clock::time_point start = Clock::now();

    throughput(scratchRoot, fileMiB);
    std::fflush(stdout);
    cpuWhileWaiting(scratchRoot, std::min(kWaitFileMiB, fileMiB));
    std::fflush(stdout);
    memoryWithLiveWorkers(scratchRoot, std::min(kMemoryFileMiB, fileMiB));
    std::fflush(stdout);
    smbThroughput(scratchRoot, fileMiB);

    std::printf("\nEvery batch checked: each row marked copied, each copy byte-identical to the "
                "source. Run time %.1f s.\n",
                secondsSince(start));
    removeScratch();
    return 0;
}
