#include "gatheringfile.h"

#include <cerrno>

namespace velmora::platform {

namespace {
// The errors are numbered as the system numbers them, so that Windows and
// Linux callers see the same kinds of failure.
#ifdef _WIN32
constexpr int kBadHandle = 6;  // ERROR_INVALID_HANDLE
constexpr int kDiskFull = 112; // ERROR_DISK_FULL
#else
constexpr int kBadHandle = EBADF;
constexpr int kDiskFull = ENOSPC;
#endif
} // namespace

Status GatheringFile::sendAll(const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        auto sent = sendRun(data + done, size - done);
        if (!sent)
            return sent.error();
        if (sent.value() == 0)
            return systemError(kDiskFull);
        done += sent.value();
        accepted_ += sent.value();
    }
    return {};
}

Status GatheringFile::flush() {
    const char* start = runStart_;
    const std::size_t size = runSize_;
    runStart_ = nullptr;
    runSize_ = 0;
    return sendAll(start, size);
}

Result<std::size_t> GatheringFile::write(const char* data, std::size_t size) {
    if (closed_)
        return systemError(kBadHandle);
    if (Status flushed = flush(); !flushed)
        return flushed.error();
    const std::uint64_t before = accepted_;
    Status sent = sendAll(data, size);
    const auto taken = static_cast<std::size_t>(accepted_ - before);
    position_ += taken;
    // The bytes taken before a full disk count: the caller sees a short count.
    if (!sent && taken == 0)
        return sent.error();
    return taken;
}

Result<std::size_t> GatheringFile::writeStable(const char* data, std::size_t size) {
    if (closed_)
        return systemError(kBadHandle);
    if (runSize_ > 0 && data != runStart_ + runSize_) {
        if (Status flushed = flush(); !flushed)
            return flushed.error();
    }
    if (runSize_ == 0)
        runStart_ = data;
    runSize_ += size;
    position_ += size;
    if (runSize_ >= runLimit()) {
        if (Status flushed = flush(); !flushed)
            return flushed.error();
    }
    return size;
}

Status GatheringFile::reopenAt(std::uint64_t offset) {
    if (closed_)
        return systemError(kBadHandle);
    // The writer goes on where it stands: nothing to do, and no system call.
    if (offset == position_)
        return {};
    if (Status flushed = flush(); !flushed)
        return flushed;
    if (Status moved = seekTo(offset); !moved)
        return moved;
    position_ = offset;
    return {};
}

Status GatheringFile::finish(const char* data, std::size_t size) {
    Status sent = sendAll(data, size);
    Status closed = closeHandle();
    return sent ? closed : sent;
}

void GatheringFile::abandon() {
    runStart_ = nullptr;
    runSize_ = 0;
    (void)close();
}

Status GatheringFile::close() {
    if (closed_)
        return {};
    closed_ = true;
    const char* start = runStart_;
    const std::size_t size = runSize_;
    runStart_ = nullptr;
    runSize_ = 0;
    return finish(start, size);
}

} // namespace velmora::platform
