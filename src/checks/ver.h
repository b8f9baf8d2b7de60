#pragma once

#include "batch/batchcontext.h"
#include "batch/batchrun.h"
#include "batch/rowreport.h"
#include "batch/tthread.h"
#include "platform/filesystem.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace velmora::batch {
class BatchWindow;
}

namespace velmora::checks {

// The version check of one server row: compares the directory entries of the
// local file and of the same file name in the server's folder, by size first,
// then by packed time stamp, and reports one of four outcomes. Reads no content
// and changes nothing on either side.
class TVer final : public batch::TThread {
public:
    explicit TVer(std::shared_ptr<batch::BatchContext> context) : context_(std::move(context)) {}

    std::string FileName;
    std::string RemotePath;
    platform::DirectoryEntry LocalEntry;
    platform::DirectoryEntry RemoteEntry;
    std::chrono::steady_clock::time_point StartTime;
    std::chrono::steady_clock::time_point EndTime;
    std::int32_t RowIndex = 0;

    // Handed over by the dispatcher: the file set's path and the row's caption
    // as they were when the row was reached, and the load of the list.
    std::string LocalPath;
    std::string RowPath;
    std::uint64_t ListGeneration = 0;
    std::shared_ptr<batch::BatchRun> Run;

private:
    enum class Outcome { Missing, DateDiffers, SizeDiffers, Identical };

    void Execute() override;
    Outcome compare();
    void ShowMissing(batch::BatchWindow& window);
    void ShowDateDifference(batch::BatchWindow& window);
    void ShowSizeDifference(batch::BatchWindow& window);
    void ShowIdentical(batch::BatchWindow& window);
    void setRow(batch::BatchWindow& window, int mark, const QString& info);
    void logSuccess(batch::BatchWindow& window, const QString& line);
    void logFailure(batch::BatchWindow& window, const QString& line);

    std::shared_ptr<batch::BatchContext> context_;
    batch::RowReport report_;
};

} // namespace velmora::checks
