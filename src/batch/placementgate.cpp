#include "batch/placementgate.h"

namespace velmora::batch {

PlacementGate& PlacementGate::instance() {
    // Never destroyed: workers may still leave it while the process ends.
    static auto* gate = new PlacementGate;
    return *gate;
}

bool PlacementGate::enter() {
    std::lock_guard lock(mutex_);
    if (closed_)
        return false;
    ++inside_;
    return true;
}

void PlacementGate::leave() {
    std::lock_guard lock(mutex_);
    --inside_;
    changed_.notify_all();
}

bool PlacementGate::closeAndWait(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    closed_ = true;
    return changed_.wait_for(lock, limit, [this] { return inside_ == 0; });
}

} // namespace velmora::batch
