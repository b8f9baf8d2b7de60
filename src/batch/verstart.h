#pragma once

#include "batch/batchstart.h"
#include "fileset/fileset.h"

#include <string>

namespace velmora::batch {

// The dispatcher of a version check: one TVer per checked row, all comparing
// with the file set's path as it was when the batch began.
class TVerStart final : public BatchStart {
public:
    explicit TVerStart(std::shared_ptr<BatchContext> context) : BatchStart(std::move(context)) {}

private:
    QString startLine() const override;
    QString endLine() const override;
    bool takeInputs(BatchWindow& window, int rowCount) override;
    bool inputsStillHeld(BatchWindow& window) const override;
    void startWorker(const DispatchedRow& row) override;

    std::string localPath_;
    fileset::FileImage image_;
};

} // namespace velmora::batch
