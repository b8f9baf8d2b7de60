#include "batch/batchrun.h"

#include "batch/batchcontext.h"
#include "batch/batchwindow.h"

namespace velmora::batch {

BatchRun::BatchRun(BatchKind kind, std::uint64_t id) {
    summary_.kind = kind;
    summary_.batchId = id;
    summary_.started = QDateTime::currentDateTime();
}

void BatchRun::workerStarted() {
    std::lock_guard lock(mutex_);
    ++liveWorkers_;
}

void BatchRun::workerEnded(const RowReport& report, BatchContext& context) {
    std::unique_lock lock(mutex_);
    if (report.aborted)
        ++summary_.aborted;
    else if (report.mark < 0)
        ++summary_.unmarked;
    else
        ++summary_.rowsByMark[report.mark];
    summary_.bytes += report.bytes;
    --liveWorkers_;
    endIfLast(lock, context);
}

void BatchRun::walkEnded(BatchContext& context) {
    std::unique_lock lock(mutex_);
    walking_ = false;
    endIfLast(lock, context);
}

void BatchRun::endIfLast(std::unique_lock<std::mutex>& lock, BatchContext& context) {
    if (walking_ || liveWorkers_ > 0 || ended_)
        return;
    ended_ = true;
    summary_.ended = QDateTime::currentDateTime();
    const BatchSummary summary = summary_;
    // The window is called without the lock: nothing else of this batch can
    // come any more.
    lock.unlock();
    (void)context.onMainThread([&](BatchWindow& window) { window.batchEnded(summary); });
}

} // namespace velmora::batch
