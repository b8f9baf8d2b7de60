#include "batch/copyworkertable.h"

#include "batch/tthread.h"

namespace velmora::batch {

void CopyWorkerTable::resize(int rows) {
    std::lock_guard lock(mutex_);
    entries_.resize(static_cast<std::size_t>(rows < 0 ? 0 : rows));
}

void CopyWorkerTable::store(int row, TThread* worker, std::uint64_t listGeneration) {
    std::lock_guard lock(mutex_);
    if (row >= 0 && static_cast<std::size_t>(row) < entries_.size())
        entries_[static_cast<std::size_t>(row)] = Entry{worker, listGeneration};
}

void CopyWorkerTable::remove(int row, const TThread* worker) {
    std::lock_guard lock(mutex_);
    if (row >= 0 && static_cast<std::size_t>(row) < entries_.size() &&
        entries_[static_cast<std::size_t>(row)].worker == worker)
        entries_[static_cast<std::size_t>(row)] = Entry{};
}

bool CopyWorkerTable::requestTermination(int row, std::uint64_t listGeneration) {
    std::lock_guard lock(mutex_);
    if (row < 0 || static_cast<std::size_t>(row) >= entries_.size())
        return false;
    const Entry& entry = entries_[static_cast<std::size_t>(row)];
    if (entry.worker == nullptr || entry.listGeneration != listGeneration)
        return false;
    // Safe under the lock: the worker cannot take itself out, and so cannot end,
    // until the lock is released.
    entry.worker->Terminate();
    return true;
}

int CopyWorkerTable::size() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(entries_.size());
}

} // namespace velmora::batch
