#pragma once

// What every part of the copy benchmark shares: the run's scratch folder and
// its end on a failure or a stop signal, time and size figures, files and
// folders, the peer programs (cp, smbclient) and the process's own figures
// from /proc. Linux only.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace velmora::bench {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMiB = 1024 * 1024;

// --- The run -------------------------------------------------------------

// Blocks the stop signals in the calling thread (call it before any other
// thread starts, so that all inherit it) and ignores SIGPIPE.
void blockStopSignals();
// Creates the scratch folder under $VELMORA_BENCH_DIR, else the temporary
// folder, and starts the thread that removes it on a stop signal.
std::string startScratch();
// Removes the scratch folder at the normal end of the run.
void removeScratch();
// Ends the run at once with status 1 and the message, scratch folders removed.
[[noreturn]] void fail(const std::string& what);

// The folder of a private Samba server while it runs, with the folders in it to
// remove first (its shares, which hold the copies) and the file system mounted
// in it, if any: the server's destructor removes all of it, but a failure or a
// stop signal ends the run without that.
struct ServerFolders {
    std::string root;
    std::vector<std::string> shares;
    std::string mount;
};

// Registers a server's folders for removal should the run end without the
// server's destructor; forgets them again before that runs.
class ServerScratch {
public:
    explicit ServerScratch(ServerFolders folders);
    ~ServerScratch();
    ServerScratch(const ServerScratch&) = delete;
    ServerScratch& operator=(const ServerScratch&) = delete;
};

// --- Figures -------------------------------------------------------------

double secondsSince(Clock::time_point start);
double median(std::vector<double> values);
// Megabytes of 10^6 bytes per second.
double megabytesPerSecond(std::uint64_t bytes, double seconds);
// The time of every round, in the order run, each after a blank.
std::string roundsText(const std::vector<double>& values);
// The system's load average as /proc/loadavg gives it ("1.52 1.31 0.98").
std::string loadAverage();
// The number of processors this process may run on.
int processorCount();

// The times of the two sides of a comparison, in the order run.
struct Rounds {
    std::vector<double> ours;
    std::vector<double> peer;
    double firstRound = 0; // the wall time of the first round, both sides
    double budget = 0;     // the seconds three rounds had to fit in
};

// Runs the two sides of a comparison interleaved, ours first in the even rounds
// and the peer first in the odd one: three rounds when three of the first
// one's length fit in the budget, else the one round.
Rounds interleavedRounds(const std::function<double()>& ours, const std::function<double()>& peer,
                         double budgetSeconds);
// "median of 3 (NAME a b c; PEER a b c)" or "one round (it took T s; ...)".
std::string roundsNote(const Rounds& rounds, const std::string& ourName,
                       const std::string& peerName);

// --- Files and folders ---------------------------------------------------

std::string makeFolder(const std::string& path);
// parent/srv1 .. parent/srv<count>.
std::vector<std::string> makeFolders(const std::string& parent, int count);
// Empties every folder of the sets, then flushes what is still dirty.
void clearFolders(std::initializer_list<const std::vector<std::string>*> sets);
void writeRandomFile(const std::string& path, std::uint64_t size);
bool sameContent(const std::string& path, const std::vector<char>& image);
// What a program printed into a file, its last 1,000 characters at most.
std::string outputText(const std::string& path);

// --- Peer programs -------------------------------------------------------

// Starts a program found in PATH, with its output into outputFile when one is
// given (else the benchmark's own output).
pid_t startProgram(const std::vector<std::string>& arguments, const std::string& outputFile = {});
// Waits for a program and fails unless it exited with 0; what it printed into
// outputFile, when given, goes with the failure.
void waitForProgram(pid_t pid, const std::string& name, const std::string& outputFile = {});

// cp of the source into every folder: all at once when parallel, else one after
// another; the wall time.
double runCp(const std::string& source, const std::vector<std::string>& folders, bool parallel);
// runCp, then each copy read back against the image.
double timedCp(const std::string& source, const std::vector<std::string>& folders,
               const std::vector<char>& image, bool parallel);

// smbclient processes, each putting the source onto its share of the server at
// 127.0.0.1:port as the name given: all at once when parallel, else one after
// another; the wall time. Their output goes to a file per share in logFolder.
double runSmbclient(const std::string& source, const std::string& name,
                    const std::vector<std::string>& shares, int port, const std::string& logFolder,
                    bool parallel);
// smbclient can end with status 0 without having written the file (a refused
// open is only printed), so its copies are read back like velmora's.
void checkSmbclientCopies(const std::vector<std::string>& folders, const std::string& name,
                          const std::vector<char>& image, const std::string& logFolder,
                          const std::vector<std::string>& shares);

// --- The process's own figures -------------------------------------------

// Processor time (user+sys) of the whole process, in seconds.
double processCpuSeconds();
// A field of /proc/self/status in kB (VmRSS, VmHWM).
std::uint64_t statusKilobytes(const std::string& field);
double mebibytes(std::uint64_t kilobytes);
// Sets the peak resident size back to the current one, so that VmHWM tells the
// peak of what follows only (Linux 4.0 on); false where the system refuses.
bool resetPeakMemory();

} // namespace velmora::bench
