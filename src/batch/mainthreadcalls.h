#pragma once

#include <functional>
#include <memory>

namespace velmora::batch {

// Runs functions on the main thread for other threads and lets them wait until
// the function has run. Once the window closes, calls are dropped: a waiting
// thread is released at once and nothing more runs, so closing never hangs on
// a batch thread and no thread reaches a window that is gone.
class MainThreadCalls {
public:
    // Must be created on the main thread, while the application object lives.
    MainThreadCalls();
    ~MainThreadCalls();
    MainThreadCalls(const MainThreadCalls&) = delete;
    MainThreadCalls& operator=(const MainThreadCalls&) = delete;

    // Runs fn on the main thread and returns true once it has run. Returns
    // false, with fn not run, when the calls have been closed. On the main
    // thread itself fn runs at once.
    bool call(const std::function<void()>& fn);
    // Main thread only: drops every pending and later call.
    void close();
    bool isClosed() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace velmora::batch
