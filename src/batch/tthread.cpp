#include "batch/tthread.h"

#include "platform/cancellation.h"

#include <thread>

namespace velmora::batch {

TThread::~TThread() {
    if (started_ && !freeOnTerminate_.load())
        WaitFor();
}

void TThread::Start() {
    if (started_)
        return;
    started_ = true;
    // Detached at once: the object, not the std::thread, is what lives on, and
    // a body that frees the object must not find a joinable thread in it.
    std::thread([this] { run(); }).detach();
}

void TThread::WaitFor() {
    std::unique_lock lock(finishedMutex_);
    finishedChanged_.wait(lock, [this] { return finished_; });
}

void TThread::run() {
    // A termination request also ends a wait on a server that does not answer.
    platform::setThreadCancelFlag(&terminated_);
    try {
        Execute();
    } catch (...) {
        // A thread has nobody to report to; its body reports its own failures.
    }
    platform::setThreadCancelFlag(nullptr);
    if (freeOnTerminate_.load()) {
        delete this;
        return;
    }
    // Notified under the lock: the owner may delete the object as soon as it
    // sees finished_, and must not find the notification still to come.
    std::lock_guard lock(finishedMutex_);
    finished_ = true;
    finishedChanged_.notify_all();
}

} // namespace velmora::batch
