#include "cli/rollout.h"

#include "batch/abortcopy.h"
#include "batch/kopirajstart.h"
#include "batch/proverastart.h"
#include "batch/verstart.h"
#include "cli/marknames.h"
#include "platform/interrupts.h"
#include "serverlist/markingcommands.h"
#include "serverlist/marks.h"

#include <QCoreApplication>
#include <QThread>

namespace velmora::cli {

using serverlist::ServerListModel;

Rollout::Rollout(const Options& options, ConsoleWindow& window, ConsoleView& view,
                 std::vector<int> pickedRows)
    : options_(options), window_(window), view_(view), picked_(std::move(pickedRows)) {
    rowNumberWidth_ = static_cast<int>(QString::number(window_.lista().count()).size());
}

Rollout::~Rollout() {
    window_.onRowReported = nullptr;
    window_.onBatchEnded = nullptr;
    if (!context_)
        return;
    // Workers still running (the second request to stop) reach the window no
    // more; those that have reported end within moments, and their helpers
    // with them.
    context_->close();
    for (int i = 0; i < 100 && context_->state().liveWorkers() > 0; ++i)
        QThread::msleep(20);
}

void Rollout::start() {
    context_ = std::make_shared<batch::BatchContext>(window_);
    context_->state().resetLiveWorkers();
    context_->state().setLimit(options_.limit);
    window_.onRowReported = [this](const batch::RowReport& report) { rowReported(report); };
    window_.onBatchEnded = [this](const batch::BatchSummary&) { finish(); };
    connect(&interruptPoll_, &QTimer::timeout, this, [this] { checkInterrupts(); });
    interruptPoll_.start(kInterruptPollMilliseconds);
    // A request to stop that came while the list and the file were read:
    // every row is unchecked before the dispatcher walks them.
    checkInterrupts();

    started_ = QDateTime::currentDateTime();
    batch::BatchStart* dispatcher = nullptr;
    switch (options_.kind) {
    case batch::BatchKind::Copy:
        dispatcher = new batch::TKopirajStart(context_);
        break;
    case batch::BatchKind::VersionCheck:
        dispatcher = new batch::TVerStart(context_);
        break;
    case batch::BatchKind::Reachability:
        dispatcher = new batch::TProveraStart(context_);
        break;
    }
    dispatcher->Start();
}

QString Rollout::lineFor(int row, const QString& outcome, const QString& what) const {
    return QStringLiteral("row ") + QString::number(row + 1).rightJustified(rowNumberWidth_) +
           QStringLiteral("  ") + outcome.leftJustified(15) + QStringLiteral("  ") + what;
}

void Rollout::rowReported(const batch::RowReport& report) {
    if (finished_)
        return;
    const ServerListModel& lista = window_.lista();
    const QString outcome = markName(lista.mark(report.row));
    QString what;
    if (report.aborted) {
        what = ServerListModel::displayText(report.target) + QStringLiteral("  aborted");
    } else {
        what =
            report.logLine.isEmpty() ? ServerListModel::displayText(report.target) : report.logLine;
        if (!report.reason.empty())
            what +=
                QStringLiteral("  (") + QString::fromLocal8Bit(report.reason) + QLatin1Char(')');
    }
    view_.printLine(lineFor(report.row, outcome, what));
}

void Rollout::checkInterrupts() {
    if (finished_)
        return;
    const int received = platform::interruptsReceived();
    const bool newRequest = received > interruptsSeen_;
    if (newRequest && !interrupted_) {
        interrupted_ = true;
        view_.printError(
            options_.kind == batch::BatchKind::Copy
                ? QStringLiteral("Interrupted: aborting the running copies; no further row "
                                 "starts. Interrupt again to stop waiting.")
                : QStringLiteral("Interrupted: no further row starts; waiting for the running "
                                 "checks. Interrupt again to stop waiting."));
        // The dispatcher passes every row that is no longer checked.
        serverlist::uncheckAll(window_.lista());
    } else if (newRequest) {
        view_.printError(QStringLiteral("Interrupted again: not waiting any longer."));
        interruptsSeen_ = received;
        finish();
        return;
    }
    interruptsSeen_ = received;
    // Again at every poll: a worker its dispatcher stored only after the first
    // abort gets its request too.
    if (interrupted_ && options_.kind == batch::BatchKind::Copy)
        (void)batch::abortAllCopies(context_->state(), window_.lista());
}

RunRecord Rollout::record() const {
    const ServerListModel& lista = window_.lista();
    RunRecord run;
    run.kind = options_.kind;
    run.servers = QString::fromLocal8Bit(options_.servers);
    run.file = QString::fromLocal8Bit(options_.file);
    run.limit = options_.limit;
    run.interrupted = interrupted_;
    run.started = started_;
    run.ended = ended_.isValid() ? ended_ : QDateTime::currentDateTime();
    for (int row : picked_) {
        RowRecord record;
        record.row = row + 1;
        record.text = ServerListModel::displayText(lista.caption(row));
        record.outcome = markName(lista.mark(row));
        record.percent = lista.subItem(row, 0);
        record.info = lista.subItem(row, 1);
        if (const batch::RowReport* report = window_.reportOf(row)) {
            record.aborted = report->aborted;
            record.log = report->logLine;
            record.reason = QString::fromLocal8Bit(report->reason);
            record.bytes = report->bytes;
            record.started = report->started;
            record.ended = report->ended;
        }
        run.rows.push_back(std::move(record));
    }
    return run;
}

void Rollout::finish() {
    if (finished_)
        return;
    finished_ = true;
    ended_ = QDateTime::currentDateTime();
    interruptPoll_.stop();
    const ServerListModel& lista = window_.lista();
    // The rows that got no worker (an interrupted run), or whose worker has
    // not ended (the second request to stop), have a line too.
    for (int row : picked_) {
        if (window_.reportOf(row) != nullptr)
            continue;
        const int mark = lista.mark(row);
        view_.printLine(
            lineFor(row, markName(mark),
                    ServerListModel::displayText(lista.caption(row)) +
                        (mark == serverlist::MarkWorking ? QStringLiteral("  still at work")
                                                         : QStringLiteral("  not started"))));
    }
    view_.stop();
    const RunRecord run = record();
    view_.printLine(summaryLine(run));
    int status = interrupted_ ? Interrupted : run.failedRows() > 0 ? SomeFailed : AllSucceeded;
    if (!writeReports(options_, run, view_) && status == AllSucceeded)
        status = SomeFailed;
    QCoreApplication::exit(status);
}

bool writeReports(const Options& options, const RunRecord& run, ConsoleView& view) {
    bool written = true;
    for (const ReportTarget& target : options.reports) {
        const QByteArray content =
            target.format == ReportFormat::Json ? reportJson(run) : reportCsv(run);
        if (platform::Status status = writeReportFile(target.path, content); !status) {
            view.printError(QStringLiteral("velmora-cli: ") +
                            QString::fromLocal8Bit(status.error().message));
            written = false;
        }
    }
    return written;
}

QString summaryLine(const RunRecord& run) {
    QString line =
        run.interrupted ? QStringLiteral("Interrupted. Summary: ") : QStringLiteral("Summary: ");
    line += QString::number(run.rows.size()) +
            (run.rows.size() == 1 ? QStringLiteral(" row") : QStringLiteral(" rows"));
    QStringList counts;
    for (const auto& [outcome, count] : run.rowsByOutcome()) {
        QString item = QString::number(count) + QLatin1Char(' ') + outcome;
        if (outcome == markName(serverlist::MarkCopyFailed) && run.abortedRows() > 0)
            item += QStringLiteral(" (") + QString::number(run.abortedRows()) +
                    QStringLiteral(" aborted)");
        counts.append(item);
    }
    if (!counts.isEmpty())
        line += QStringLiteral(": ") + counts.join(QStringLiteral(", "));
    const qint64 wall = run.started.msecsTo(run.ended);
    line += QStringLiteral("; ") + QString::number(run.bytes()) +
            QStringLiteral(" bytes; wall time ") + QString::number(wall / 1000) + QLatin1Char('.') +
            QString::number(wall % 1000).rightJustified(3, QLatin1Char('0')) + QStringLiteral(" s");
    return line;
}

} // namespace velmora::cli
