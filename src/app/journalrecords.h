#pragma once

#include "batch/rowreport.h"

#include <QJsonObject>
#include <QString>

#include <string>

// The records of the operations journal (journal.h), one JSON object each.
// Every record has "time", "pid" (added by the journal) and "record", which
// says what the other fields are:
//
//   "row"     one worker's row: "command" (copy, check, reach), "batch",
//             "row", "server" (the row's caption), "target", "outcome",
//             "mark", "percent" and "info" (the row's "%" and "Informacije"
//             texts), "log" (its line in the log pane), "reason" (the system's
//             reason, where there was one), "bytes" (copy), "started",
//             "elapsed_ms"
//   "batch"   a batch after its last worker: "command", "batch", "rows",
//             "counts" (rows by outcome), "failed", "bytes", "started",
//             "wall_ms"
//   "tool"    robocopy, ping or open folder for the selected row: "command"
//             (robocopy, robocopy-external, ping, ping -t, open-folder), "row",
//             "server", "outcome" (started, tool-missing, bad-server, failed),
//             "reason", and the command's own "file", "tool", "arguments" or
//             "host"
//   "start", "exit", "warning"  the program's own events
namespace velmora::app {

// The outcome word of a row: the name of the mark it ended with (copied,
// copy-failed, reachable, unreachable, good-version, bad-version, ...), or
// aborted, or unfinished for a worker that set no mark.
QString outcomeName(const batch::RowReport& report);
QString markName(int mark);

QJsonObject rowRecord(const batch::RowReport& report);
QJsonObject summaryRecord(const batch::BatchSummary& summary);

// A one-server command's record; the reason only where there is one. The
// caller adds the command's own fields.
QJsonObject toolRecord(const QString& command, int row, const std::string& server,
                       const QString& outcome, const std::string& reason = {});

// Text the system gave (an error message, a path) as a record's field.
QString systemText(const std::string& text);

} // namespace velmora::app
