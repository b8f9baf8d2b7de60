#include "robocopy/robocopyhandoff.h"

namespace velmora::robocopy {

RobocopyHandOff::RobocopyHandOff(std::shared_ptr<batch::BatchContext> context, Steps steps,
                                 Finished finished)
    : context_(std::move(context)), steps_(std::move(steps)), finished_(std::move(finished)) {
    setFreeOnTerminate(true);
}

void RobocopyHandOff::Execute() {
    const platform::Result<StartOutcome> outcome = steps_();
    (void)context_->onMainThread(
        [this, &outcome](batch::BatchWindow& window) { finished_(window, outcome); });
}

} // namespace velmora::robocopy
