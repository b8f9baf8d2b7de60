#pragma once

#include "batch/batchcontext.h"
#include "batch/tthread.h"
#include "platform/result.h"
#include "robocopy/robocopyrun.h"

#include <functional>
#include <memory>

namespace velmora::robocopy {

// One robocopy run off the main thread, so that the window stays responsive
// while the server's copy is moved and the tool is awaited: the run's steps
// (runEmbeddedTool or runExternalTool) on a thread of their own, then their
// outcome handed to the window in one main-thread call, dropped once the
// window has closed. Created suspended, started once, frees itself at its end.
class RobocopyHandOff final : public batch::TThread {
public:
    using Steps = std::function<platform::Result<StartOutcome>()>;
    using Finished =
        std::function<void(batch::BatchWindow&, const platform::Result<StartOutcome>&)>;

    RobocopyHandOff(std::shared_ptr<batch::BatchContext> context, Steps steps, Finished finished);

private:
    void Execute() override;

    std::shared_ptr<batch::BatchContext> context_;
    Steps steps_;
    Finished finished_;
};

} // namespace velmora::robocopy
