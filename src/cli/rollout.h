#pragma once

#include "batch/batchcontext.h"
#include "cli/consoleview.h"
#include "cli/consolewindow.h"
#include "cli/options.h"
#include "cli/report.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace velmora::cli {

// One batch run from the command line: it starts the window's own dispatcher
// on the console window, writes a line for each row as it ends, turns a
// request to stop into the abort of every running copy, and at the end writes
// the summary and the reports and ends the event loop with the exit status.
class Rollout final : public QObject {
public:
    enum ExitStatus { AllSucceeded = 0, SomeFailed = 1, BadUsage = 2, Interrupted = 3 };

    Rollout(const Options& options, ConsoleWindow& window, ConsoleView& view,
            std::vector<int> pickedRows);
    ~Rollout() override;

    // Main thread, before the event loop runs.
    void start();
    // The record of the picked rows as they stand.
    RunRecord record() const;

    static constexpr int kInterruptPollMilliseconds = 50;

private:
    void rowReported(const batch::RowReport& report);
    void checkInterrupts();
    void finish();
    QString lineFor(int row, const QString& outcome, const QString& what) const;

    const Options& options_;
    ConsoleWindow& window_;
    ConsoleView& view_;
    std::vector<int> picked_;
    std::shared_ptr<batch::BatchContext> context_;
    QTimer interruptPoll_;
    int interruptsSeen_ = 0;
    bool interrupted_ = false;
    bool finished_ = false;
    QDateTime started_;
    QDateTime ended_;
    int rowNumberWidth_ = 1;
};

// Writes every report the options name; false, with the reason told on the
// view, when one could not be written.
bool writeReports(const Options& options, const RunRecord& run, ConsoleView& view);

// "Summary: ..." for the end of a run.
QString summaryLine(const RunRecord& run);

} // namespace velmora::cli
