#pragma once

#include "platform/cancellation.h"
#include "platform/filesystem.h"
#include "platform/localfilesystem.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

namespace velmora::testsupport {

// Calls that wait while the gate is shut; counts how many are inside at once.
class Gate {
public:
    void shut() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Lets one caller through a shut gate.
    void releaseOne() {
        std::lock_guard lock(mutex_);
        ++tokens_;
        changed_.notify_all();
    }
    // Blocks while shut; counts the callers inside pass() at the same time.
    void pass() {
        std::unique_lock lock(mutex_);
        ++inside_;
        if (inside_ > mostInside_)
            mostInside_ = inside_;
        ++waiting_;
        changed_.wait(lock, [this] { return open_ || tokens_ > 0; });
        if (!open_)
            --tokens_;
        --waiting_;
        --inside_;
    }
    int waiting() const {
        std::lock_guard lock(mutex_);
        return waiting_;
    }
    int mostInside() const {
        std::lock_guard lock(mutex_);
        return mostInside_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    int tokens_ = 0;
    int inside_ = 0;
    int mostInside_ = 0;
    int waiting_ = 0;
};

// The local file system with faults put in on request: a shut gate on writes or
// on the folder test, a write that comes up short, a reopen that fails, a
// rename that fails, a file that the existence test does not see.
class FaultyFileSystem final : public platform::FileSystem {
public:
    Gate writeGate;  // every write passes it
    Gate folderGate; // every folder test passes it: directoryExists, or the entry of a folder
    Gate renameGate; // every renameNoReplace passes it
    // Renames fail once the thread is asked to stop, as network requests do.
    std::atomic<bool> cancellableRenames{false};
    std::atomic<int> shortWriteAt{-1}; // the write of this number (from 0) comes up short
    std::atomic<bool> failReopen{false};
    std::atomic<bool> failClose{false};
    std::set<std::string> failRenameFrom; // set before the batch starts
    std::set<std::string> invisible;      // neither fileExists nor findEntry sees them
    // False: the file system renames onto an existing name only in two steps,
    // as a network share through the client library does.
    std::atomic<bool> replacesInOneStepToo{true};
    // The rename of this number (from 0, every kind of rename counted) loses
    // its connection: before it is carried out, or after (its reply lost).
    std::atomic<int> connectionLostAtRename{-1};
    std::atomic<bool> lostAfterCarryingOut{false};
    // After the lost rename this many requests fail as if the server were gone
    // (serverGoneFor counts them down).
    std::atomic<int> goneAfterTheLoss{0};
    std::atomic<int> serverGoneFor{0};

    platform::Result<std::vector<char>> readWholeFile(const std::string& path) override {
        return local_.readWholeFile(path);
    }
    platform::Result<platform::DirectoryEntry> findEntry(const std::string& path) override {
        if (serverIsGone())
            return platform::systemError(ECONNREFUSED);
        if (invisible.count(path) != 0)
            return platform::systemError(ENOENT);
        auto entry = local_.findEntry(path);
        if (entry && (entry.value().attributes & platform::AttrDirectory))
            folderGate.pass();
        return entry;
    }
    bool fileExists(const std::string& path) override {
        return !serverIsGone() && invisible.count(path) == 0 && local_.fileExists(path);
    }
    bool directoryExists(const std::string& path) override {
        folderGate.pass();
        return local_.directoryExists(path);
    }
    platform::Result<std::unique_ptr<platform::WritableFile>>
    createForWriting(const std::string& path) override {
        return wrap(local_.createForWriting(path));
    }
    platform::Result<std::unique_ptr<platform::WritableFile>>
    reopenForWriting(const std::string& path, std::uint64_t offset) override {
        if (failReopen)
            return platform::systemError(EIO);
        return wrap(local_.reopenForWriting(path, offset));
    }
    platform::Status deleteFile(const std::string& path) override {
        return local_.deleteFile(path);
    }
    platform::Status renameNoReplace(const std::string& from, const std::string& to) override {
        return rename(from, to, [&] { return local_.renameNoReplace(from, to); });
    }
    bool replacesInOneStep(const std::string& path) override {
        return replacesInOneStepToo && local_.replacesInOneStep(path);
    }
    platform::Status renameReplacing(const std::string& from, const std::string& to) override {
        if (!replacesInOneStepToo)
            return platform::systemError(ENOTSUP);
        return rename(from, to, [&] { return local_.renameReplacing(from, to); });
    }
    platform::Status linkOrCopy(const std::string& from, const std::string& to) override {
        if (!replacesInOneStepToo)
            return platform::systemError(ENOTSUP);
        return local_.linkOrCopy(from, to);
    }
    platform::Status setLastWriteTime(const std::string& path, platform::DosTime time) override {
        if (serverIsGone())
            return platform::systemError(ECONNREFUSED);
        return local_.setLastWriteTime(path, time);
    }

    int writes() const { return writes_.load(); }
    int renames() const { return renames_.load(); }

private:
    bool serverIsGone() {
        for (int left = serverGoneFor.load(); left > 0;) {
            if (serverGoneFor.compare_exchange_weak(left, left - 1))
                return true;
        }
        return false;
    }

    template <typename Rename>
    platform::Status rename(const std::string& from, const std::string&, Rename carryOut) {
        renameGate.pass();
        if (cancellableRenames && platform::threadCancelRequested())
            return platform::systemError(ECANCELED);
        if (serverIsGone())
            return platform::systemError(ECONNREFUSED);
        if (renames_.fetch_add(1) == connectionLostAtRename) {
            if (lostAfterCarryingOut)
                (void)carryOut();
            serverGoneFor = goneAfterTheLoss.load();
            return platform::systemError(ECONNRESET);
        }
        if (failRenameFrom.count(from) != 0)
            return platform::systemError(EACCES);
        return carryOut();
    }

    class File final : public platform::WritableFile {
    public:
        File(FaultyFileSystem& owner, std::unique_ptr<platform::WritableFile> inner)
            : owner_(owner), inner_(std::move(inner)) {}
        platform::Result<std::size_t> write(const char* data, std::size_t size) override {
            return faulty(data, size,
                          [this](const char* d, std::size_t n) { return inner_->write(d, n); });
        }
        platform::Result<std::size_t> writeStable(const char* data, std::size_t size) override {
            return faulty(data, size, [this](const char* d, std::size_t n) {
                return inner_->writeStable(d, n);
            });
        }
        std::uint64_t acceptedBytes() const override { return inner_->acceptedBytes(); }
        void abandon() override { inner_->abandon(); }
        platform::Status reopenAt(std::uint64_t offset) override {
            if (owner_.failReopen)
                return platform::systemError(EIO);
            return inner_->reopenAt(offset);
        }
        platform::Status close() override {
            platform::Status closed = inner_->close();
            if (owner_.failClose)
                return platform::systemError(EIO);
            return closed;
        }

    private:
        template <typename Write>
        platform::Result<std::size_t> faulty(const char* data, std::size_t size, Write write) {
            owner_.writeGate.pass();
            const int number = owner_.writes_.fetch_add(1);
            if (number == owner_.shortWriteAt && size > 0)
                return write(data, size - 1);
            return write(data, size);
        }

        FaultyFileSystem& owner_;
        std::unique_ptr<platform::WritableFile> inner_;
    };

    platform::Result<std::unique_ptr<platform::WritableFile>>
    wrap(platform::Result<std::unique_ptr<platform::WritableFile>> opened) {
        if (!opened)
            return opened.error();
        return std::unique_ptr<platform::WritableFile>(
            std::make_unique<File>(*this, std::move(opened).value()));
    }

    platform::LocalFileSystem local_;
    std::atomic<int> writes_{0};
    std::atomic<int> renames_{0};
};

} // namespace velmora::testsupport
