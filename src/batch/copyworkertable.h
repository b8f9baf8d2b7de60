#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace velmora::batch {

class TThread;

// The copy worker most recently started for each server row, so that the abort
// command can reach it. One lock guards every resize, store and read. A worker
// takes itself out before it ends, so the table never holds a worker that has
// gone; and an entry remembers the load of the list it was started on, so that a
// worker of replaced rows is never taken for the worker of a new row.
class CopyWorkerTable {
public:
    // Sets the length; existing entries keep their content, new ones are empty.
    void resize(int rows);
    void store(int row, TThread* worker, std::uint64_t listGeneration);
    // Called by the worker itself just before it ends.
    void remove(int row, const TThread* worker);
    // Sends a termination request to the row's live copy worker of the given
    // load of the list; false when there is none.
    bool requestTermination(int row, std::uint64_t listGeneration);
    int size() const;

private:
    struct Entry {
        TThread* worker = nullptr;
        std::uint64_t listGeneration = 0;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

} // namespace velmora::batch
