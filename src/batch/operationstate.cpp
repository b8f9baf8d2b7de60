#include "batch/operationstate.h"

namespace velmora::batch {

void OperationState::resetLiveWorkers() {
    liveWorkers_.store(0);
    wakeWaiters();
}

void OperationState::workerEnded() {
    liveWorkers_.fetch_sub(1);
    wakeWaiters();
}

void OperationState::setLimit(std::int32_t limit) {
    limit_.store(limit);
    wakeWaiters();
}

bool OperationState::waitForFreeSlot() {
    std::unique_lock lock(waitMutex_);
    slotChanged_.wait(lock,
                      [this] { return shutDown_.load() || liveWorkers_.load() < limit_.load(); });
    return !shutDown_.load();
}

void OperationState::shutDown() {
    shutDown_.store(true);
    wakeWaiters();
}

void OperationState::wakeWaiters() {
    // Taking the lock orders the change before a waiter's next test of the
    // condition, so no wake-up is lost between its test and its sleep.
    { std::lock_guard lock(waitMutex_); }
    slotChanged_.notify_all();
}

} // namespace velmora::batch
