#pragma once

#include "batch/batchcontext.h"
#include "batch/batchrun.h"
#include "batch/tthread.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace velmora::batch {

// A checked row as the dispatcher hands it to its worker.
struct DispatchedRow {
    int index = 0;
    std::string caption;
    std::uint64_t listGeneration = 0;
    // The batch the row belongs to; the worker reports its end to it.
    std::shared_ptr<BatchRun> run;
};

// The walk that the three dispatchers share: the start line with the busy
// label, then every row from the first to the last, waiting for a free slot
// before each, marking and starting a worker for each checked row, then the end
// line with the free label. The dispatcher frees itself at the end and never
// waits for its workers.
//
// The walk stops early, still writing its end line, when the rows it walks have
// been replaced by a reload or the batch's inputs have gone (see inputsStillHeld).
class BatchStart : public TThread {
protected:
    // Counted as a live dispatcher from its creation, on the thread that starts
    // it, so that nobody sees the batch as over before its thread has begun.
    explicit BatchStart(std::shared_ptr<BatchContext> context) : context_(std::move(context)) {
        context_->state().dispatcherStarted();
    }

    virtual BatchKind kind() const = 0;
    virtual QString startLine() const = 0;
    virtual QString endLine() const = 0;
    // The reachability batch counts the rows before its start line.
    virtual bool countsRowsBeforeStartLine() const { return false; }
    // Main thread, right after the start line: takes what the whole batch needs.
    // False ends the walk at once.
    virtual bool takeInputs(BatchWindow& window, int rowCount) = 0;
    // Main thread, before each row: false when the inputs taken have gone.
    virtual bool inputsStillHeld(BatchWindow& window) const = 0;
    // Dispatcher thread: creates the worker, fills it, starts it and counts it
    // (in the live-worker count and in row.run).
    virtual void startWorker(const DispatchedRow& row) = 0;

    std::shared_ptr<BatchContext> context_;

private:
    void Execute() final;
    void walk();
};

} // namespace velmora::batch
