#pragma once

#include <atomic>

// A long wait inside the platform layer (a request to a network server) ends
// early when the owner of the calling thread asks that thread to stop. The
// thread names the flag it is stopped by; waits look at it while they wait.
namespace velmora::platform {

// Names the flag that stops the calling thread's waits; nullptr for none. The
// flag must outlive the calls made while it is named.
void setThreadCancelFlag(const std::atomic<bool>* flag);

// True when the calling thread's flag is set.
bool threadCancelRequested();

// For its lifetime the calling thread's waits cannot be cancelled: for steps
// that must run to their end once begun (putting a server's program back).
// Time-outs still bound them.
class [[nodiscard]] UncancellableScope {
public:
    UncancellableScope();
    ~UncancellableScope();
    UncancellableScope(const UncancellableScope&) = delete;
    UncancellableScope& operator=(const UncancellableScope&) = delete;

private:
    const std::atomic<bool>* saved_;
};

} // namespace velmora::platform
