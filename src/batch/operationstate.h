#pragma once

#include "batch/copyworkertable.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace velmora::batch {

// What the batches share: the live-worker count, the live-worker limit, the
// copy worker table, and the number of dispatchers still walking.
//
// The count is changed only atomically. The limit is a copy of what the limit
// field reads, kept current by the main thread on every change of the field, so
// that a waiting dispatcher never needs the window. The wait for a free slot
// sleeps on a condition that a worker's end and a change of the limit wake, so
// it costs no processor time and still takes a freed slot at once.
class OperationState {
public:
    static constexpr std::int32_t kInitialLimit = 10;

    std::int32_t liveWorkers() const { return liveWorkers_.load(); }
    void resetLiveWorkers();
    void workerStarted() { liveWorkers_.fetch_add(1); }
    // A worker's very last step; wakes the waiting dispatchers.
    void workerEnded();

    std::int32_t limit() const { return limit_.load(); }
    // Main thread: the limit field now reads this.
    void setLimit(std::int32_t limit);

    // Blocks while the count is at or above the limit. Returns false, at once,
    // when the window has closed.
    bool waitForFreeSlot();
    // Held by a dispatcher from its wait for a slot until it has counted the
    // worker it starts there, so that two overlapping batches cannot both take
    // the last free slot.
    std::unique_lock<std::mutex> takeDispatchTurn() { return std::unique_lock(dispatchTurn_); }
    // Releases every wait for good: the window is closing.
    void shutDown();
    bool isShutDown() const { return shutDown_.load(); }

    // Dispatchers count themselves while they walk (for tests and shutdown).
    std::int32_t liveDispatchers() const { return liveDispatchers_.load(); }
    void dispatcherStarted() { liveDispatchers_.fetch_add(1); }
    void dispatcherEnded() { liveDispatchers_.fetch_sub(1); }

    CopyWorkerTable& copyWorkers() { return copyWorkers_; }

    // A number for each batch, unique in the process, from 1.
    std::uint64_t nextBatchId() { return ++batchesStarted_; }

private:
    void wakeWaiters();

    std::atomic<std::int32_t> liveWorkers_{0};
    std::atomic<std::int32_t> limit_{kInitialLimit};
    std::atomic<std::int32_t> liveDispatchers_{0};
    std::atomic<bool> shutDown_{false};
    std::atomic<std::uint64_t> batchesStarted_{0};
    std::mutex dispatchTurn_;
    std::mutex waitMutex_;
    std::condition_variable slotChanged_;
    CopyWorkerTable copyWorkers_;
};

} // namespace velmora::batch
