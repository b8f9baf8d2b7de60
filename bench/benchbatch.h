#pragma once

// Copy batches as the window runs them (TKopirajStart and its TKopiraj
// workers), with the widget-free window of the tests, and the check that
// follows every batch of the benchmark.

#include "batch/batchcontext.h"
#include "platform/filesystem.h"
#include "support/fakebatchwindow.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velmora::bench {

using testsupport::FakeBatchWindow;

// The longest any one batch of the benchmark may take.
constexpr int kBatchTimeoutMs = 10 * 60 * 1000;

// The main thread's wait for the batch threads. It sleeps in the event loop,
// woken by the workers' main-thread calls and by a 2 ms poll of the condition,
// so it takes neither a core from the copies nor processor time from the
// figures (a loop of processEvents and short sleeps would take both).
bool runEventsUntil(const std::function<bool()>& done, int timeoutMs);
void runEventsFor(int milliseconds);

// The dispatcher has written its end (the free label) and no thread of the
// batch is left.
bool batchEnded(const FakeBatchWindow& window, batch::BatchContext& context);

// Holds the file in the window's file set, or fails the run.
void holdFile(FakeBatchWindow& window, const std::string& path);

// Loads the rows as checked and starts a copy batch of the held file.
std::shared_ptr<batch::BatchContext>
startCopyBatch(FakeBatchWindow& window, const std::vector<std::string>& rows, int limit,
               batch::FileSystemResolver fileSystems = platform::fileSystemFor);

// Waits for the batch's end, then checks every row (marked copied) and every
// copy (byte for byte the held image, no temporary file left), or fails the
// run. The copies are read in the local folders given: the rows' folders, or
// for network rows the folders the shares serve.
void finishCopyBatch(const std::string& what, FakeBatchWindow& window,
                     const std::shared_ptr<batch::BatchContext>& context,
                     const std::vector<std::string>& diskFolders);

// A checked copy batch of the held file to the rows with the program's own file
// systems; the time from its start to the end of its last worker.
double timedCopyBatch(FakeBatchWindow& window, const std::vector<std::string>& rows, int limit,
                      const std::vector<std::string>& diskFolders);
double timedCopyBatch(FakeBatchWindow& window, const std::vector<std::string>& folders, int limit);

} // namespace velmora::bench
