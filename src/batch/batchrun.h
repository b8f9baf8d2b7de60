#pragma once

#include "batch/rowreport.h"

#include <cstdint>
#include <mutex>

namespace velmora::batch {

class BatchContext;

// One batch from its dispatcher's start to the end of its last worker, shared
// by the dispatcher and every worker it starts. The dispatcher may finish its
// walk while workers still run; whichever of them is last tells the window
// that the batch is over (BatchWindow::batchEnded), once.
class BatchRun {
public:
    BatchRun(BatchKind kind, std::uint64_t id);

    BatchKind kind() const { return summary_.kind; }
    std::uint64_t id() const { return summary_.batchId; }
    QDateTime started() const { return summary_.started; }

    // Dispatcher thread, before the worker starts.
    void workerStarted();
    // A worker's last report, from its own thread after the window has it.
    void workerEnded(const RowReport& report, BatchContext& context);
    // The dispatcher has passed its last row (or stopped early).
    void walkEnded(BatchContext& context);

private:
    void endIfLast(std::unique_lock<std::mutex>& lock, BatchContext& context);

    std::mutex mutex_;
    int liveWorkers_ = 0;
    bool walking_ = true;
    bool ended_ = false;
    BatchSummary summary_;
};

} // namespace velmora::batch
