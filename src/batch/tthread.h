#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace velmora::batch {

// The thread base of the batches. A thread object is created suspended, gets
// its inputs in its fields and is started once. With free-on-end set (every
// dispatcher and worker sets it) the object deletes itself as soon as its body
// returns, so nobody may touch it after Start() unless the thread itself lets
// them (see CopyWorkerTable).
class TThread {
public:
    TThread() = default;
    // Waits for a started thread that does not free itself.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Runs Execute() on a new thread. Only the first call counts.
    void Start();
    // Sets the termination request; the body decides whether it looks at it.
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }

    void setFreeOnTerminate(bool freeOnTerminate) { freeOnTerminate_.store(freeOnTerminate); }
    // Blocks until the body has returned; only for threads that do not free
    // themselves.
    void WaitFor();

protected:
    // The thread body. An exception that escapes it ends the thread quietly.
    virtual void Execute() = 0;

private:
    void run();

    std::atomic<bool> terminated_{false};
    std::atomic<bool> freeOnTerminate_{false};
    bool started_ = false;
    std::mutex finishedMutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
};

} // namespace velmora::batch
