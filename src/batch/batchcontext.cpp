#include "batch/batchcontext.h"

namespace velmora::batch {

BatchContext::BatchContext(BatchWindow& window, FileSystemResolver fileSystems)
    : window_(&window), fileSystems_(std::move(fileSystems)) {}

bool BatchContext::onMainThread(const std::function<void(BatchWindow&)>& fn) {
    // window_ is read only inside the call: on the main thread, before close().
    return calls_.call([this, &fn] { fn(*window_); });
}

void BatchContext::close() {
    calls_.close();
    state_.shutDown();
}

} // namespace velmora::batch
