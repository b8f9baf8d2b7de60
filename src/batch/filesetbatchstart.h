#pragma once

#include "batch/batchstart.h"
#include "fileset/fileset.h"

#include <string>

namespace velmora::batch {

// A dispatcher whose batch works on the file set: it takes the set's path and
// image once at its start, and rows not yet reached get no worker once the set
// is cleared or replaced during the walk.
class FileSetBatchStart : public BatchStart {
protected:
    explicit FileSetBatchStart(std::shared_ptr<BatchContext> context)
        : BatchStart(std::move(context)) {}

    // False, taking nothing, when no file is held.
    bool takeInputs(BatchWindow& window, int rowCount) override;
    bool inputsStillHeld(BatchWindow& window) const override;

    std::string localPath_;
    fileset::FileImage image_;
};

} // namespace velmora::batch
