#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velmora::batch {

// Copies that have begun to put their file in place finish before the process
// ends, so that no server is left between its renames; copies that are still
// only writing their temporary file are not waited for. One for the process.
class PlacementGate {
public:
    static PlacementGate& instance();

    // A worker about to put its copy in place; false once the process is
    // ending, and then the worker must leave the server as it is.
    [[nodiscard]] bool enter();
    void leave();

    // The process is ending: no placement begins any more, and those under way
    // are waited for, at most for the limit. True when none is left.
    bool closeAndWait(std::chrono::milliseconds limit);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int inside_ = 0;
    bool closed_ = false;
};

// Holds the gate for one placement.
class [[nodiscard]] PlacementTurn {
public:
    PlacementTurn() : entered_(PlacementGate::instance().enter()) {}
    ~PlacementTurn() {
        if (entered_)
            PlacementGate::instance().leave();
    }
    PlacementTurn(const PlacementTurn&) = delete;
    PlacementTurn& operator=(const PlacementTurn&) = delete;
    explicit operator bool() const { return entered_; }

private:
    bool entered_;
};

} // namespace velmora::batch
