#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::testsupport {

// Makes a named pipe at the path and, should anyone still wait to read it after
// a few seconds, opens and closes its writing end, so that a test of a call that
// must not wait on the pipe fails by its clock instead of hanging.
class FifoUnblocker {
public:
    explicit FifoUnblocker(const std::string& path,
                           std::chrono::seconds after = std::chrono::seconds(3))
        : made_(::mkfifo(path.c_str(), 0644) == 0), path_(path) {
        if (!made_)
            return;
        helper_ = std::thread([this, after] {
            const auto deadline = std::chrono::steady_clock::now() + after;
            while (!done_ && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            // Succeeds only while a reader waits in its open.
            while (!done_) {
                const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0)
                    ::close(fd);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~FifoUnblocker() {
        done_ = true;
        if (helper_.joinable())
            helper_.join();
    }
    FifoUnblocker(const FifoUnblocker&) = delete;
    FifoUnblocker& operator=(const FifoUnblocker&) = delete;

    bool made() const { return made_; }

private:
    bool made_;
    std::string path_;
    std::atomic<bool> done_{false};
    std::thread helper_;
};

} // namespace velmora::testsupport
