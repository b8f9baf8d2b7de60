#pragma once

#include <functional>

namespace velmora::batch {

// Ends the process without waiting for batch threads that are still only
// writing their temporary files, as closing the window does; a copy that has
// begun to put its file in place finishes first (PlacementGate), so no server
// is left between its renames. Runs no static destructors (quick_exit), since
// worker threads may still be running. The last steps (such as writing out a
// journal) run after the copies in their renames have finished.
[[noreturn]] void endProcess(int code, const std::function<void()>& lastSteps = {});

} // namespace velmora::batch
