#pragma once

#include "filesystem.h"

#include <cstddef>
#include <cstdint>

namespace velmora::platform {

// A writable file that gathers the bytes of writeStable() into runs by their
// addresses, without a copy of its own, and hands each run to the disk or the
// server in one piece once it is long enough (runLimit()), when the next bytes
// do not follow in memory, or at close. Bytes of write() go at once, as before.
// acceptedBytes() counts what the disk or server has taken.
class GatheringFile : public WritableFile {
public:
    Result<std::size_t> write(const char* data, std::size_t size) final;
    Result<std::size_t> writeStable(const char* data, std::size_t size) final;
    Status reopenAt(std::uint64_t offset) final;
    std::uint64_t acceptedBytes() const final { return accepted_; }
    Status close() final;
    void abandon() final;

protected:
    // Hands bytes to the disk or server at the current position: how many it
    // took, fewer than given when the disk is full.
    virtual Result<std::size_t> sendRun(const char* data, std::size_t size) = 0;
    // Sends the last run (possibly empty) and closes the handle; called once.
    // By default the run goes through sendRun() first.
    virtual Status finish(const char* data, std::size_t size);
    virtual Status closeHandle() = 0;
    // Moves the position for a reopen at another offset than the writing's.
    virtual Status seekTo(std::uint64_t offset) = 0;
    // How many bytes are worth gathering before they are handed over.
    virtual std::size_t runLimit() const = 0;

    // Sends all of the run or says why not (a full disk is ENOSPC).
    Status sendAll(const char* data, std::size_t size);
    // For a finish() that hands its run over some other way.
    void countAccepted(std::size_t size) { accepted_ += size; }

private:
    Status flush();

    const char* runStart_ = nullptr;
    std::size_t runSize_ = 0;
    std::uint64_t position_ = 0; // where the next byte given goes
    std::uint64_t accepted_ = 0;
    bool closed_ = false;
};

} // namespace velmora::platform
