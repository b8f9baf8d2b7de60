#include "batch/mainthreadcalls.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

namespace velmora::batch {

// Kept alive by every queued call as well, so that a call still in Qt's event
// queue never refers to state that has gone.
struct MainThreadCalls::Shared {
    std::mutex mutex;
    std::condition_variable done;
    bool closed = false;
    QThread* mainThread = nullptr;
};

MainThreadCalls::MainThreadCalls() : shared_(std::make_shared<Shared>()) {
    shared_->mainThread = QThread::currentThread();
}

MainThreadCalls::~MainThreadCalls() = default;

bool MainThreadCalls::call(const std::function<void()>& fn) {
    const std::shared_ptr<Shared> shared = shared_;
    if (QThread::currentThread() == shared->mainThread) {
        if (isClosed())
            return false;
        fn();
        return true;
    }

    auto finished = std::make_shared<bool>(false);
    std::unique_lock lock(shared->mutex);
    QCoreApplication* application = QCoreApplication::instance();
    if (shared->closed || application == nullptr)
        return false;
    // Posted under the lock: close() cannot come between the test above and the
    // post, so nothing is posted to an application that is shutting down.
    QMetaObject::invokeMethod(
        application,
        [shared, finished, &fn] {
            // Runs on the main thread; close() does too, so closed cannot change
            // while fn runs. fn is still alive: its caller waits until finished
            // or closed, and neither is true yet.
            {
                std::lock_guard check(shared->mutex);
                if (shared->closed)
                    return;
            }
            fn();
            std::lock_guard report(shared->mutex);
            *finished = true;
            shared->done.notify_all();
        },
        Qt::QueuedConnection);
    shared->done.wait(lock, [&] { return *finished || shared->closed; });
    return *finished;
}

void MainThreadCalls::close() {
    std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    shared_->done.notify_all();
}

bool MainThreadCalls::isClosed() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->closed;
}

} // namespace velmora::batch
