#pragma once

#include "batch/filesetbatchstart.h"

namespace velmora::batch {

// The dispatcher of a version check: one TVer per checked row, all comparing
// with the file set's path as it was when the batch began.
class TVerStart final : public FileSetBatchStart {
public:
    explicit TVerStart(std::shared_ptr<BatchContext> context)
        : FileSetBatchStart(std::move(context)) {}

private:
    BatchKind kind() const override { return BatchKind::VersionCheck; }
    QString startLine() const override;
    QString endLine() const override;
    void startWorker(const DispatchedRow& row) override;
};

} // namespace velmora::batch
