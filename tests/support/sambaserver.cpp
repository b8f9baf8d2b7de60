#include "sambaserver.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora::testsupport {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kStartLimit = 15s;
constexpr auto kStopGrace = 3s;
constexpr auto kProbeLimit = 3s;
constexpr auto kToolLimit = 15s;
constexpr int kStartAttempts = 3;

void say(std::string* whyNot, const std::string& text) {
    if (whyNot)
        *whyNot = text;
}

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Finds a program in PATH or in the system folders, which are not in every PATH (smbd is in
// /usr/sbin).
std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(std::string(path ? path : "") + ":/usr/sbin:/usr/bin:/sbin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + name;
        if (!dir.empty() && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool acceptsConnections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

// Waits until the child exits or the deadline passes. True when it is gone (also when it was
// already reaped elsewhere).
bool reap(pid_t pid, Clock::time_point deadline, int* status) {
    for (;;) {
        const pid_t done = waitpid(pid, status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR))
            return true;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

// The highest descriptor to close one by one where close_range() is missing.
int descriptorLimit() {
    const long limit = sysconf(_SC_OPEN_MAX);
    return limit > 0 && limit < 65536 ? static_cast<int>(limit) : 65536;
}

// What follows runs in forked children of a possibly multithreaded program, before exec or
// instead of it, so it keeps to async-signal-safe calls: no allocation, no locks.

void closeRange(unsigned first, unsigned last, int fallbackLimit) {
    if (first > last || close_range(first, last, 0) == 0)
        return;
    for (unsigned fd = first; fd <= last && fd < static_cast<unsigned>(fallbackLimit); ++fd)
        close(static_cast<int>(fd));
}

// Closes every descriptor above stderr except those in keep (sorted ascending), so that a child
// holds no pipe or socket of the test program, in particular no other server's control socket.
template <std::size_t N> void closeAllBut(const std::array<int, N>& keep, int fallbackLimit) {
    unsigned next = 3;
    for (const int fd : keep) {
        if (fd < static_cast<int>(next))
            continue;
        closeRange(next, static_cast<unsigned>(fd) - 1, fallbackLimit);
        next = static_cast<unsigned>(fd) + 1;
    }
    closeRange(next, ~0U, fallbackLimit);
}

// Gives every signal its default action and unblocks all, so that a program started by exec
// does not inherit what the test program ignores or blocks.
void resetSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        sigaction(sig, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Runs a program with stdin from inputFile (or /dev/null) and stdout and stderr into outputFile
// (or /dev/null). Returns its exit code, or -1 when it could not run, was killed by a signal or
// did not finish within limit (it is killed then).
int runProgram(const std::vector<std::string>& args, const std::string& inputFile,
               const std::string& outputFile, Clock::duration limit) {
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int in = open(inputFile.empty() ? "/dev/null" : inputFile.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(outputFile.empty() ? "/dev/null" : outputFile.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int fdLimit = descriptorLimit();
    const pid_t pid = in >= 0 && out >= 0 ? fork() : -1;
    if (pid == 0) {
        resetSignals();
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        closeRange(3, ~0U, fdLimit);
        execve(argv[0], argv.data(), environ);
        _exit(127);
    }
    if (in >= 0)
        close(in);
    if (out >= 0)
        close(out);
    if (pid < 0)
        return -1;
    int status = 0;
    if (!reap(pid, Clock::now() + limit, &status)) {
        ::kill(pid, SIGKILL);
        reap(pid, Clock::now() + kStopGrace, &status);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Everything the watcher needs, prepared before the fork.
struct WatchPlan {
    char* const* argv;      // smbd's command line
    int control;            // socket the owner sends commands on (and closes when it goes)
    int report;             // pipe that receives smbd's process id
    int log;                // smbd's stdout and stderr
    int devNull;            //
    int fdLimit;            //
    const char* rpcPidFile; // samba-dcerpcd (started by smbd on demand) writes its pid there
    const char* mountPoint; // the tmpfs, unmounted when the owner vanished; null when none
};

// The samba-dcerpcd of this server, or -1. It puts itself into a session of its own, out of
// smbd's process group, and its double fork makes it a child of the watcher: only a process
// that is still the watcher's child (or was just reaped) counts, never a stranger that reuses
// a stale pid.
pid_t rpcDaemon(const char* pidFile) {
    const int fd = open(pidFile, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[24];
    const ssize_t length = read(fd, text, sizeof text);
    close(fd);
    pid_t pid = 0;
    for (ssize_t i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i)
        pid = pid * 10 + (text[i] - '0');
    if (pid <= 1)
        return -1;
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    return done == 0 || done == pid ? pid : -1;
}

void signalServer(const WatchPlan& plan, pid_t smbd, int sig) {
    ::kill(-smbd, sig);
    if (const pid_t rpc = rpcDaemon(plan.rpcPidFile); rpc > 0) {
        ::kill(-rpc, sig);
        ::kill(rpc, sig);
    }
}

// The watcher: starts smbd in a process group of its own and, as child subreaper, reaps it and
// everything it leaves behind. Commands from the owner: 'T' terminates the server, 'K' kills
// it; end of file (the owner is gone) kills it too. Exits once no descendant is left.
[[noreturn]] void watch(const WatchPlan& plan) {
    resetSignals();
    // A Ctrl-C or TERM meant for the test program must not take the watcher away from smbd:
    // the watcher learns that the owner died from its control socket and cleans up then.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    for (const int sig : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU})
        sigaction(sig, &ignore, nullptr);
    dup2(plan.devNull, 0);
    dup2(plan.devNull, 1);
    dup2(plan.devNull, 2);
    std::array<int, 4> keep{plan.control, plan.report, plan.log, plan.devNull};
    std::sort(keep.begin(), keep.end());
    closeAllBut(keep, plan.fdLimit);
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);

    const pid_t smbd = fork();
    if (smbd == 0) {
        setpgid(0, 0);
        resetSignals();
        dup2(plan.log, 1);
        dup2(plan.log, 2);
        execve(plan.argv[0], plan.argv, environ);
        const char message[] = "could not execute smbd\n";
        [[maybe_unused]] const ssize_t ignored = write(2, message, sizeof message - 1);
        _exit(127);
    }
    if (smbd > 0)
        setpgid(smbd, smbd); // also here, so that the group exists before the owner signals it
    [[maybe_unused]] const ssize_t reported = write(plan.report, &smbd, sizeof smbd);
    close(plan.report);
    if (smbd < 0)
        _exit(126);

    int control = plan.control;
    bool killing = false;
    bool ownerGone = false;
    int smbdStatus = 0;
    for (;;) {
        pollfd event{control, POLLIN, 0};
        if (poll(&event, control >= 0 ? 1 : 0, 100) > 0) {
            char command = 0;
            const ssize_t length = read(control, &command, 1);
            if (length == 1 && command == 'T') {
                signalServer(plan, smbd, SIGTERM);
                signalServer(plan, smbd, SIGCONT); // a paused server must run to see the TERM
            } else if (length == 1 && command == 'K') {
                killing = true;
            } else if (length == 0 || (length < 0 && errno != EINTR && errno != EAGAIN)) {
                killing = ownerGone = true;
                close(control);
                control = -1;
            }
        }
        if (killing)
            signalServer(plan, smbd, SIGKILL); // again each round: smbd may still be forking
        int status = 0;
        pid_t done = 0;
        while ((done = waitpid(-1, &status, WNOHANG)) > 0) {
            if (done == smbd)
                smbdStatus = status;
        }
        if (done < 0 && errno == ECHILD)
            break;
    }
    if (ownerGone && plan.mountPoint)
        umount2(plan.mountPoint, MNT_DETACH);
    _exit(WIFEXITED(smbdStatus) ? WEXITSTATUS(smbdStatus) : 128 + WTERMSIG(smbdStatus));
}

// Samba maps the user of "priv" to a Unix account, so it must exist. Another test program may
// be creating it at the same moment (and hold the lock on the account files), so only its
// absence after a few tries is a failure.
bool ensureUnixAccount(const char* user, const std::string& scratch, std::string* whyNot) {
    const std::string output = scratch + "/useradd.log";
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (getpwnam(user))
            return true;
        runProgram({findProgram("useradd"), "--system", "--no-create-home", "--shell",
                    "/usr/sbin/nologin", user},
                   {}, output, kToolLimit);
        if (getpwnam(user))
            return true;
        usleep(200 * 1000);
    }
    say(whyNot, std::string("cannot create the Unix account ") + user + ": " + readFile(output));
    return false;
}

std::string shareSection(const std::string& name, const std::string& path, bool guest,
                         bool writable, const std::string& extra) {
    std::string section = "[" + name + "]\n";
    section += "    path = " + path + "\n";
    section += std::string("    guest ok = ") + (guest ? "yes" : "no") + "\n";
    section += std::string("    read only = ") + (writable ? "no" : "yes") + "\n";
    section += "    force user = root\n";
    section += "    force group = root\n";
    return section + extra;
}

} // namespace

std::unique_ptr<SambaServer> SambaServer::start(std::string* whyNot) {
    if (geteuid() != 0) {
        say(whyNot, "the private Samba server needs root (smbd, a tmpfs mount, a Unix account)");
        return nullptr;
    }
    std::unique_ptr<SambaServer> server(new SambaServer);
    server->smbd_ = findProgram("smbd");
    server->smbclient_ = findProgram("smbclient");
    if (server->smbd_.empty() || server->smbclient_.empty() || findProgram("smbpasswd").empty()) {
        say(whyNot, "smbd, smbclient or smbpasswd is not installed (Debian: samba, smbclient)");
        return nullptr;
    }
    if (!server->makeFolders(whyNot) || !ensureUnixAccount(kUser, server->root_, whyNot))
        return nullptr;

    const Clock::time_point deadline = Clock::now() + kStartLimit;
    for (int attempt = 1;; ++attempt) {
        // A port found free can be taken by someone else before smbd binds it; smbd then exits
        // and the next attempt takes another port.
        server->port_ = freeLoopbackPort();
        if (server->port_ == 0) {
            say(whyNot, errnoText("no free TCP port on 127.0.0.1"));
            return nullptr;
        }
        if (!server->writeConfiguration(whyNot) ||
            (attempt == 1 && !server->addPrivateUser(whyNot)) || !server->launch(whyNot))
            return nullptr;
        if (server->awaitAnswer(deadline, whyNot))
            return server;
        const bool died = !server->running();
        server->stop();
        if (!died || attempt == kStartAttempts || Clock::now() >= deadline)
            return nullptr;
    }
}

SambaServer::~SambaServer() {
    stop();
    if (fullMounted_) {
        const std::string folder = shareFolder("full");
        if (umount2(folder.c_str(), 0) != 0)
            umount2(folder.c_str(), MNT_DETACH);
    }
    std::error_code ignored;
    if (!root_.empty())
        std::filesystem::remove_all(root_, ignored);
}

std::string SambaServer::shareFolder(const std::string& share) const {
    return root_ + "/shares/" + share;
}

std::string SambaServer::unc(const std::string& share, const std::string& relative) const {
    std::string path = "\\\\127.0.0.1\\" + share;
    if (!relative.empty())
        path += "\\" + relative;
    return path;
}

void SambaServer::pause() {
    if (running())
        ::kill(-group_, SIGSTOP);
}

void SambaServer::resume() {
    if (running())
        ::kill(-group_, SIGCONT);
}

void SambaServer::kill() {
    if (!running())
        return;
    ::kill(-group_, SIGKILL);
    tellWatcher('K'); // also takes samba-dcerpcd, which is not in smbd's group
    if (!awaitWatcher(kStopGrace)) {
        ::kill(watcher_, SIGKILL);
        awaitWatcher(kStopGrace);
    }
}

bool SambaServer::restart(std::string* whyNot) {
    kill();
    if (control_ >= 0)
        close(control_);
    control_ = -1;
    group_ = -1;
    return launch(whyNot) && awaitAnswer(Clock::now() + 15s, whyNot);
}

bool SambaServer::makeFolders(std::string* whyNot) {
    // Samba's Unix sockets live below this folder and their paths must stay short, so a long
    // TMPDIR is not used.
    std::error_code error;
    std::string base = std::filesystem::temp_directory_path(error).string();
    if (error || base.empty() || base.size() > 40)
        base = "/tmp";
    std::string pattern = base + "/velmora-smb-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        say(whyNot, errnoText("cannot create a folder in " + base));
        return false;
    }
    root_ = pattern;
    conf_ = root_ + "/smb.conf";
    chmod(root_.c_str(), 0755);
    for (const char* dir : {"lock", "state", "cache", "pid", "private", "ncalrpc", "shares"})
        std::filesystem::create_directories(root_ + "/" + dir, error);
    for (const char* share :
         {"pub", "ro", "priv", "full", "b1", "b2", "b3", "b4", "b5", "b6", "b7", "b8"}) {
        const std::string folder = shareFolder(share);
        // chmod after mkdir: the umask must not decide who may write.
        if (mkdir(folder.c_str(), 0777) != 0 || chmod(folder.c_str(), 0777) != 0) {
            say(whyNot, errnoText("cannot create " + folder));
            return false;
        }
    }
    std::ofstream(shareFolder("ro") + "/present.txt") << "present\n";
    fullMounted_ = mount("tmpfs", shareFolder("full").c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                         "size=1m,mode=0777") == 0;
    return true;
}

bool SambaServer::writeConfiguration(std::string* whyNot) const {
    std::ofstream conf(conf_, std::ios::trunc);
    conf << "[global]\n"
         << "    server role = standalone server\n"
         << "    workgroup = WORKGROUP\n"
         << "    passdb backend = tdbsam:" << root_ << "/private/passdb.tdb\n"
         << "    lock directory = " << root_ << "/lock\n"
         << "    state directory = " << root_ << "/state\n"
         << "    cache directory = " << root_ << "/cache\n"
         << "    pid directory = " << root_ << "/pid\n"
         << "    private dir = " << root_ << "/private\n"
         << "    ncalrpc dir = " << root_ << "/ncalrpc\n"
         << "    log file = " << root_ << "/log.smbd\n"
         << "    smb ports = " << port_ << "\n"
         << "    interfaces = 127.0.0.1\n"
         << "    bind interfaces only = yes\n"
         << "    map to guest = Bad User\n"
         << "    guest account = nobody\n"
         << "    disable netbios = yes\n"
         << "    load printers = no\n"
         << "    printing = bsd\n"
         << "    printcap name = /dev/null\n"
         << "    disable spoolss = yes\n"
         << "    server min protocol = SMB2\n"
         << "    unix extensions = no\n"
         << "    kernel oplocks = no\n\n";
    const auto share = [&](const std::string& name, bool guest, bool writable,
                           const std::string& extra = {}) {
        conf << shareSection(name, shareFolder(name), guest, writable, extra) << "\n";
    };
    share("pub", true, true);
    share("ro", true, false);
    share("priv", false, true, "    valid users = " + std::string(kUser) + "\n");
    if (fullMounted_)
        share("full", true, true);
    for (int i = 1; i <= 8; ++i)
        share("b" + std::to_string(i), true, true);
    conf.close();
    if (!conf) {
        say(whyNot, "cannot write " + conf_);
        return false;
    }
    return true;
}

bool SambaServer::addPrivateUser(std::string* whyNot) const {
    // smbpasswd -s reads the new password twice from stdin.
    const std::string input = root_ + "/smbpasswd.in";
    const std::string output = root_ + "/smbpasswd.log";
    std::ofstream(input) << kPassword << "\n" << kPassword << "\n";
    const int code = runProgram({findProgram("smbpasswd"), "-c", conf_, "-a", "-s", kUser}, input,
                                output, kToolLimit);
    std::filesystem::remove(input);
    if (code == 0)
        return true;
    say(whyNot, "smbpasswd could not add " + std::string(kUser) + ": " + readFile(output));
    return false;
}

bool SambaServer::launch(std::string* whyNot) {
    const std::string log = root_ + "/smbd.log";
    const std::string rpcPidFile = root_ + "/pid/samba-dcerpcd.pid";
    const std::string mountPoint = fullMounted_ ? shareFolder("full") : std::string();
    const std::vector<std::string> args = {smbd_,
                                           "--foreground",
                                           "--no-process-group",
                                           "--debug-stdout",
                                           "--debuglevel=1",
                                           "--configfile=" + conf_};
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    int control[2] = {-1, -1};
    int report[2] = {-1, -1};
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    // A socket rather than a pipe for the commands: send() with MSG_NOSIGNAL cannot raise
    // SIGPIPE in the test program when the watcher is already gone.
    const bool ready = logFd >= 0 && devNull >= 0 &&
                       socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control) == 0 &&
                       pipe2(report, O_CLOEXEC) == 0;
    const WatchPlan plan{argv.data(),
                         control[0],
                         report[1],
                         logFd,
                         devNull,
                         descriptorLimit(),
                         rpcPidFile.c_str(),
                         mountPoint.empty() ? nullptr : mountPoint.c_str()};
    const pid_t watcher = ready ? fork() : -1;
    if (watcher == 0)
        watch(plan);
    const int saved = errno;
    for (const int fd : {control[0], report[1], logFd, devNull})
        if (fd >= 0)
            close(fd);
    if (watcher < 0) {
        for (const int fd : {control[1], report[0]})
            if (fd >= 0)
                close(fd);
        errno = saved;
        say(whyNot, errnoText("cannot start the smbd watcher"));
        return false;
    }
    watcher_ = watcher;
    control_ = control[1];

    pid_t smbd = -1;
    ssize_t length = 0;
    do
        length = read(report[0], &smbd, sizeof smbd);
    while (length < 0 && errno == EINTR);
    close(report[0]);
    if (length != static_cast<ssize_t>(sizeof smbd) || smbd <= 0) {
        stop();
        say(whyNot, "could not fork smbd");
        return false;
    }
    group_ = smbd;
    return true;
}

bool SambaServer::awaitAnswer(Clock::time_point deadline, std::string* whyNot) {
    // An open port is not enough: smbd listens before it can serve a share, so wait for a real
    // SMB request to succeed.
    const std::vector<std::string> probe = {
        smbclient_, "-s", conf_, "-p", std::to_string(port_), "-N", "//127.0.0.1/pub", "-c", "ls"};
    while (Clock::now() < deadline) {
        if (!running()) {
            say(whyNot, "smbd exited during start-up; its log ends with:\n" + logTail());
            return false;
        }
        if (acceptsConnections(port_) &&
            runProgram(probe, {}, root_ + "/probe.log", kProbeLimit) == 0)
            return true;
        std::this_thread::sleep_for(100ms);
    }
    say(whyNot, "smbd did not answer an SMB request within 15 s; its log ends with:\n" + logTail());
    return false;
}

bool SambaServer::running() {
    if (watcher_ < 0)
        return false;
    int status = 0;
    const pid_t done = waitpid(watcher_, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR))
        return true;
    watcher_ = -1;
    return false;
}

void SambaServer::tellWatcher(char command) const {
    if (control_ >= 0)
        send(control_, &command, 1, MSG_NOSIGNAL);
}

bool SambaServer::awaitWatcher(std::chrono::milliseconds limit) {
    int status = 0;
    if (watcher_ >= 0 && !reap(watcher_, Clock::now() + limit, &status))
        return false;
    watcher_ = -1;
    return true;
}

void SambaServer::stop() {
    if (running()) {
        tellWatcher('T');
        if (!awaitWatcher(kStopGrace)) {
            tellWatcher('K');
            if (!awaitWatcher(kStopGrace)) {
                ::kill(-group_, SIGKILL);
                ::kill(watcher_, SIGKILL);
                awaitWatcher(kStopGrace);
            }
        }
    }
    if (control_ >= 0)
        close(control_);
    control_ = -1;
    group_ = -1;
}

std::string SambaServer::logTail() const {
    const std::string log = readFile(root_ + "/smbd.log");
    constexpr std::size_t kTail = 2000;
    return log.size() > kTail ? log.substr(log.size() - kTail) : log;
}

} // namespace velmora::testsupport
