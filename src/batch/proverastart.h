#pragma once

#include "batch/batchstart.h"

namespace velmora::batch {

// The dispatcher of a reachability check: one TProvera per checked row. It
// counts the rows before its start line and counts each worker before creating
// it.
class TProveraStart final : public BatchStart {
public:
    explicit TProveraStart(std::shared_ptr<BatchContext> context)
        : BatchStart(std::move(context)) {}

    std::int32_t RowCount = 0;

private:
    BatchKind kind() const override { return BatchKind::Reachability; }
    QString startLine() const override;
    QString endLine() const override;
    bool countsRowsBeforeStartLine() const override { return true; }
    bool takeInputs(BatchWindow& window, int rowCount) override;
    bool inputsStillHeld(BatchWindow&) const override { return true; }
    void startWorker(const DispatchedRow& row) override;
};

} // namespace velmora::batch
