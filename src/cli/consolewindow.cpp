#include "cli/consolewindow.h"

namespace velmora::cli {

void ConsoleWindow::rowReported(const batch::RowReport& report) {
    reports_[report.row] = report;
    if (onRowReported)
        onRowReported(report);
}

void ConsoleWindow::batchEnded(const batch::BatchSummary& summary) {
    if (onBatchEnded)
        onBatchEnded(summary);
}

const batch::RowReport* ConsoleWindow::reportOf(int row) const {
    const auto found = reports_.find(row);
    return found == reports_.end() ? nullptr : &found->second;
}

} // namespace velmora::cli
