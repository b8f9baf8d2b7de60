#pragma once

#include "batch/batchstart.h"
#include "fileset/fileset.h"
#include "platform/dostime.h"

#include <optional>
#include <string>

namespace velmora::batch {

// The dispatcher of a copy batch: one TKopiraj per checked row. It takes the
// file set (path, image, time stamp) once at its start; if the set is cleared or
// replaced during the walk, rows not yet reached get no worker.
class TKopirajStart final : public BatchStart {
public:
    explicit TKopirajStart(std::shared_ptr<BatchContext> context)
        : BatchStart(std::move(context)) {}

private:
    QString startLine() const override;
    QString endLine() const override;
    bool takeInputs(BatchWindow& window, int rowCount) override;
    bool inputsStillHeld(BatchWindow& window) const override;
    void startWorker(const DispatchedRow& row) override;

    std::string localPath_;
    fileset::FileImage image_;
    std::optional<platform::DosTime> heldTime_;
};

} // namespace velmora::batch
