#pragma once

#include "batch/mainthreadcalls.h"
#include "batch/operationstate.h"
#include "platform/filesystem.h"

#include <functional>
#include <memory>
#include <string>

namespace velmora::batch {

class BatchWindow;

// Chooses the file system for a path: platform::fileSystemFor in the program.
using FileSystemResolver = std::function<platform::FileSystem&(const std::string&)>;

// Everything a batch thread uses, shared by the window and every running
// dispatcher and worker (they hold it by shared_ptr, so it outlives a window that
// closes while they run). The window itself is reached only through
// onMainThread(), and not at all once it has closed.
class BatchContext {
public:
    // Created on the main thread by the window it serves.
    explicit BatchContext(BatchWindow& window,
                          FileSystemResolver fileSystems = platform::fileSystemFor);

    OperationState& state() { return state_; }
    // The file system of a server row's path.
    platform::FileSystem& fileSystemFor(const std::string& path) { return fileSystems_(path); }
    // The file system of the file set's own path, a local name as the system
    // gave it (platform::nativeFileSystem).
    platform::FileSystem& nativeFileSystem() { return platform::nativeFileSystem(); }

    // Runs fn with the window on the main thread and waits until it has run.
    // False, with fn not run, once the window has closed.
    bool onMainThread(const std::function<void(BatchWindow&)>& fn);

    // Main thread, when the window goes: no batch thread reaches it any more,
    // and waiting dispatchers give up.
    void close();

private:
    BatchWindow* window_;
    FileSystemResolver fileSystems_;
    MainThreadCalls calls_;
    OperationState state_;
};

} // namespace velmora::batch
