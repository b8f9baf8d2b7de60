#pragma once

#include "batch/filesetbatchstart.h"
#include "platform/dostime.h"

#include <optional>

namespace velmora::batch {

// The dispatcher of a copy batch: one TKopiraj per checked row. Besides the
// file set's path and image it takes the set's time stamp at its start.
class TKopirajStart final : public FileSetBatchStart {
public:
    explicit TKopirajStart(std::shared_ptr<BatchContext> context)
        : FileSetBatchStart(std::move(context)) {}

private:
    BatchKind kind() const override { return BatchKind::Copy; }
    QString startLine() const override;
    QString endLine() const override;
    bool takeInputs(BatchWindow& window, int rowCount) override;
    void startWorker(const DispatchedRow& row) override;

    std::optional<platform::DosTime> heldTime_;
};

} // namespace velmora::batch
