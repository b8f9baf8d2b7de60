#include "app/programend.h"

#include "app/journal.h"
#include "batch/processend.h"

#include <chrono>

namespace velmora::app {

void endProgram(int code) {
    batch::endProcess(code, [] {
        // The journal's records arrive on the main thread, which is here now:
        // what is queued is all there will be. A disk that does not answer is
        // not waited for without end.
        (void)flushProgramJournal(std::chrono::seconds(10));
    });
}

} // namespace velmora::app
