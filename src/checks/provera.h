#pragma once

#include "batch/batchcontext.h"
#include "batch/batchrun.h"
#include "batch/tthread.h"

#include <cstdint>
#include <memory>
#include <string>

namespace velmora::checks {

// The reachability check of one server row: the row's path is reachable when
// its attributes can be read and carry the folder attribute. Nothing is listed,
// read or written; the check waits as long as the file system takes.
class TProvera final : public batch::TThread {
public:
    explicit TProvera(std::shared_ptr<batch::BatchContext> context)
        : context_(std::move(context)) {}

    std::string Path;
    std::int32_t RowIndex = 0;
    std::uint64_t ListGeneration = 0;
    std::shared_ptr<batch::BatchRun> Run;

private:
    void Execute() override;

    std::shared_ptr<batch::BatchContext> context_;
};

} // namespace velmora::checks
