#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>

namespace velmora::testsupport {

// A private Samba server (smbd) on 127.0.0.1 for tests and benchmarks of the SMB client layer.
// Everything it uses (configuration, passdb, locks, logs, shared folders) lives in a fresh
// temporary folder, so it never touches the system's Samba set-up, and several servers can run
// at once. Needs root (smbd, the tmpfs mount, the Unix account of the private share).
//
// smbd runs under a small watcher process that start() forks: it is a child subreaper, so every
// process smbd leaves behind (connection children, the samba-dcerpcd it starts on demand) is
// reaped there instead of piling up as zombies, and it kills the whole server when the owning
// program goes away without the destructor having run (a crash, an abort).
class SambaServer {
public:
    static constexpr const char* kUser = "velmora"; // the user of the "priv" share
    // Blanks, "#" and "=", and a blank at the end: all part of the password.
    static constexpr const char* kPassword = "Velmora #1 = test ";

    // Starts smbd on a free port of 127.0.0.1 with shares "pub" (guest, writable), "ro" (guest,
    // read only, holds "present.txt"), "priv" (kUser / kPassword only), "full" (guest, writable,
    // on a 1 MiB tmpfs; only when the mount works) and "b1".."b8" (guest, writable). Returns
    // nullptr and says why in *whyNot (when not null) if smbd is missing, the program is not
    // root, or the server did not answer an SMB request within about 15 s.
    static std::unique_ptr<SambaServer> start(std::string* whyNot);

    // Stops smbd (TERM, then KILL after about 3 s) and everything it started, unmounts the
    // tmpfs and removes the temporary folder.
    ~SambaServer();
    SambaServer(const SambaServer&) = delete;
    SambaServer& operator=(const SambaServer&) = delete;

    int port() const { return port_; }
    // The local folder served by a share, without a trailing separator.
    std::string shareFolder(const std::string& share) const;
    // "\\127.0.0.1\<share>", followed by "\<relative>" when relative (which uses '\') is given.
    std::string unc(const std::string& share, const std::string& relative = {}) const;
    // False when the 1 MiB file system could not be mounted, so there is no "full" share.
    bool hasFullShare() const { return fullMounted_; }
    // The temporary folder holding the configuration, the log (smbd.log) and the shares.
    const std::string& root() const { return root_; }

    // Stops (SIGSTOP) every smbd process of this server: the kernel still accepts TCP
    // connections on the port, but nothing answers them.
    void pause();
    // Lets the stopped processes run again (SIGCONT).
    void resume();
    // Kills (SIGKILL) the server at once and waits until all its processes are reaped.
    void kill();
    // Starts the server again on the same port and shares (after kill(), or at
    // once, killing it first); true once it answers.
    bool restart(std::string* whyNot);

private:
    SambaServer() = default;
    bool makeFolders(std::string* whyNot);
    bool writeConfiguration(std::string* whyNot) const;
    bool addPrivateUser(std::string* whyNot) const;
    bool launch(std::string* whyNot);
    bool awaitAnswer(std::chrono::steady_clock::time_point deadline, std::string* whyNot);
    bool running();
    void tellWatcher(char command) const;
    bool awaitWatcher(std::chrono::milliseconds limit);
    void stop();
    std::string logTail() const;

    std::string root_;
    std::string conf_;
    std::string smbd_;
    std::string smbclient_;
    int port_ = 0;
    bool fullMounted_ = false;
    pid_t watcher_ = -1; // the subreaper; -1 once it has been reaped
    pid_t group_ = -1;   // smbd's process id, which is also its process group
    int control_ = -1;   // write end of the pipe the watcher takes commands from
};

} // namespace velmora::testsupport
