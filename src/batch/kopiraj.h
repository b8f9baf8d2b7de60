#pragma once

#include "batch/batchcontext.h"
#include "batch/batchrun.h"
#include "batch/rowreport.h"
#include "batch/tthread.h"
#include "fileset/fileset.h"
#include "platform/dostime.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velmora::batch {

class BatchWindow;

// The copy worker of one server row. It writes the file image to the server
// folder under a temporary name (D + "~") in blocks of 2,048 bytes, showing
// progress in the row; checks the written size against the local file on disk;
// keeps the server's previous copy under the backup name ("_" + file name) and
// puts the new copy in place so that the server never lacks its program
// (placement.h); stamps it with the held time stamp; and reports success or the
// reason of failure.
class TKopiraj final : public TThread {
public:
    static constexpr std::size_t kBlockSize = 2048;
    static constexpr std::uint64_t kReopenEvery = 65536;

    explicit TKopiraj(std::shared_ptr<BatchContext> context) : context_(std::move(context)) {}

    double CopiedBytes = 0;
    std::int32_t LastPercent = 0;
    std::string DestPath;
    std::int32_t RowIndex = 0;

    // Taken by the dispatcher when the batch began, so that the worker sends
    // what was read at Add even if the file set is cleared meanwhile. The image
    // is shared, never copied: memory does not grow with the number of workers.
    fileset::FileImage Image;
    std::string LocalPath;
    std::optional<platform::DosTime> HeldTime;
    std::uint64_t ListGeneration = 0;
    // The row's caption. An empty one names no server: joined with the file
    // name it would address the root of the local disk, so nothing is written.
    std::string ServerFolder;
    std::shared_ptr<BatchRun> Run;

private:
    enum class Outcome {
        Copied,
        CannotCreate, // F1
        WriteFailed,  // F2
        LocalMissing, // F3
        TempMissing,  // F4
        SizeDiffers,  // F5
        CannotRename, // F6
        Aborted,
    };

    void Execute() override;
    Outcome copy();
    // The outcome of a failed step, with the system's reason for it.
    Outcome failed(Outcome failure, const platform::Error& reason);
    Outcome failed(Outcome failure, std::string reason);
    Outcome putInPlace(platform::FileSystem& fileSystem, const std::string& temp);
    void showProgress(std::uint64_t totalBytes, std::uint64_t acceptedBytes);
    void report(Outcome outcome);
    void reportFailure(BatchWindow& window, const QString& line, const QString& info);

    std::shared_ptr<BatchContext> context_;
    std::chrono::steady_clock::time_point started_;
    RowReport report_;
};

} // namespace velmora::batch
