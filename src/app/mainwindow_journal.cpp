// What the window keeps beside its rows and log panes: the operations
// journal's records, the line that ends a batch, and each row's last outcome
// for its tooltip.
#include "app/mainwindow.h"

#include "app/batchsummaryline.h"
#include "app/commandoptions.h"
#include "app/formats.h"
#include "app/journal.h"
#include "app/journalrecords.h"
#include "batch/rowreport.h"
#include "serverlist/marks.h"

#include <QJsonArray>

namespace velmora::app {

using serverlist::ServerListModel;

namespace {

QString operationName(batch::BatchKind kind) {
    switch (kind) {
    case batch::BatchKind::Copy:
        break;
    case batch::BatchKind::VersionCheck:
        return QStringLiteral("Provera verzije");
    case batch::BatchKind::Reachability:
        return QStringLiteral("Provera veze");
    }
    return QStringLiteral("Kopiranje");
}

} // namespace

void TForm1::rowReported(const batch::RowReport& report) {
    journal_->append(rowRecord(report));
    // Only a row of the load the worker was started on is that worker's row.
    if (report.listGeneration != listaModel_.generation() || !listaModel_.isValidRow(report.row))
        return;
    QString outcome = report.infoText;
    if (report.aborted)
        outcome = QStringLiteral("prekinuto");
    else if (report.mark < 0)
        outcome = QStringLiteral("nije završeno");
    noteRow(report.row,
            {operationName(report.kind), report.ended, outcome, systemText(report.reason)});
}

void TForm1::batchEnded(const batch::BatchSummary& summary) {
    journal_->append(summaryRecord(summary));
    const QString line = batchSummaryLine(summary);
    if (summary.failedRows() > 0)
        appendMemo2(line);
    else
        appendMemo1(line);
}

void TForm1::noteRow(int row, RowNote note) {
    if (notesGeneration_ != listaModel_.generation()) {
        rowNotes_.clear();
        notesGeneration_ = listaModel_.generation();
    }
    rowNotes_.insert(row, std::move(note));
}

void TForm1::forgetNotesOfCheckedRows() {
    for (int row = 0; row < listaModel_.count(); ++row)
        if (listaModel_.checked(row))
            rowNotes_.remove(row);
}

QString TForm1::rowToolTip(int row) const {
    if (!listaModel_.isValidRow(row))
        return {};
    QString tip = ServerListModel::displayText(listaModel_.caption(row));
    if (notesGeneration_ != listaModel_.generation())
        return tip;
    const auto note = rowNotes_.constFind(row);
    if (note == rowNotes_.constEnd())
        return tip;
    tip += QLatin1Char('\n') + note->operation;
    if (note->when.isValid())
        tip += QLatin1Char(' ') + dateTimeText(note->when);
    tip += QStringLiteral(": ") + note->outcome;
    if (!note->reason.isEmpty())
        tip += QStringLiteral("\nRazlog: ") + note->reason;
    return tip;
}

void TForm1::journalTool(const QString& command, int row, const QString& outcome,
                         const std::string& reason, const QJsonObject& fields) {
    const std::string server = listaModel_.isValidRow(row) ? listaModel_.caption(row) : "";
    QJsonObject record = toolRecord(command, row, server, outcome, reason);
    for (auto it = fields.begin(); it != fields.end(); ++it)
        record.insert(it.key(), it.value());
    journal_->append(record);
    // A row handed to robocopy shows it; its tooltip says when.
    if (command.startsWith(QLatin1String("robocopy")) && outcome == QLatin1String("started") &&
        listaModel_.isValidRow(row))
        noteRow(row, {QStringLiteral("Robocopy"),
                      QDateTime::currentDateTime(),
                      QStringLiteral("kopirano sa robocopy"),
                      {}});
}

void TForm1::journalTool(const QString& command, int row, const platform::Status& started,
                         const QJsonObject& fields) {
    if (started)
        journalTool(command, row, QStringLiteral("started"), {}, fields);
    else
        journalTool(command, row, QStringLiteral("failed"), started.error().message, fields);
}

void TForm1::journalRobocopy(const QString& command, int row, const robocopy::ToolRun& run,
                             const std::string& tool,
                             const platform::Result<robocopy::StartOutcome>& outcome) {
    const QJsonObject fields{{QStringLiteral("file"), systemText(run.filePath)},
                             {QStringLiteral("tool"), systemText(tool)},
                             {QStringLiteral("arguments"), systemText(robocopyArguments(run))}};
    if (!outcome)
        journalTool(command, row, QStringLiteral("failed"), outcome.error().message, fields);
    else if (outcome.value() == robocopy::StartOutcome::ToolMissing)
        journalTool(command, row, QStringLiteral("tool-missing"), {}, fields);
    else
        journalTool(command, row, QStringLiteral("started"), {}, fields);
}

void TForm1::journalStart() {
    journal_->append(
        {{QStringLiteral("record"), QStringLiteral("start")},
         {QStringLiteral("version"), QLatin1String(programVersion())},
         {QStringLiteral("servers"),
          systemText(paths_.serverListFile.empty() ? paths_.programFolder + "serveri.txt"
                                                   : paths_.serverListFile)},
         {QStringLiteral("rows"), listaModel_.count()}});
}

void TForm1::journalExit() {
    // Workers still running end with the process and report nothing more;
    // the record names their rows (a copy already putting its file in place
    // finishes it first; one still writing leaves its temporary file).
    QJsonObject record{{QStringLiteral("record"), QStringLiteral("exit")},
                       {QStringLiteral("workers"), operationState().liveWorkers()}};
    QJsonArray working;
    for (int row = 0; row < listaModel_.count(); ++row)
        if (listaModel_.mark(row) == serverlist::MarkWorking)
            working.append(ServerListModel::displayText(listaModel_.caption(row)));
    if (!working.isEmpty())
        record.insert(QStringLiteral("working"), working);
    journal_->append(record);
}

} // namespace velmora::app
