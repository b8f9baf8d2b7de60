// A program that ends the way velmora does (endProgram) while its journal still
// has records queued and a worker thread is still reporting: the test reads
// what reached the journal ($XDG_STATE_HOME/velmora) afterwards.
#include "app/journal.h"
#include "app/programend.h"

#include <chrono>
#include <thread>

int main() {
    velmora::app::Journal& journal = velmora::app::programJournal();
    std::thread([&journal] {
        for (int n = 0;; ++n) {
            journal.append({{"record", "probe"}, {"from", "worker"}, {"n", n}});
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }).detach();
    for (int n = 0; n < 3000; ++n)
        journal.append({{"record", "probe"}, {"from", "main"}, {"n", n}});
    velmora::app::endProgram(0);
}
