#pragma once

#include <atomic>
#include <cstdint>

namespace velmora::batch {

// What the batches share: for now the live-worker count, the number of worker
// threads started and not yet finished. Changed only atomically; the window's
// timer shows it.
class OperationState {
public:
    std::int32_t liveWorkers() const { return liveWorkers_.load(); }
    void resetLiveWorkers() { liveWorkers_.store(0); }
    void workerStarted() { liveWorkers_.fetch_add(1); }
    void workerEnded() { liveWorkers_.fetch_sub(1); }

private:
    std::atomic<std::int32_t> liveWorkers_{0};
};

} // namespace velmora::batch
