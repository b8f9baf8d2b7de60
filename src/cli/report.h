#pragma once

#include "batch/rowreport.h"
#include "platform/result.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velmora::cli {

// One picked row at the end of a run.
struct RowRecord {
    int row = 0;     // numbered from 1, as the lines of the list
    QString text;    // the row's caption as shown
    QString outcome; // the row's final mark, by name (marknames.h)
    bool aborted = false;
    QString percent; // the "%" column
    QString info;    // the "Informacije" column
    QString log;     // the log line written for the row; empty: none
    QString reason;  // the system's reason for a failure; empty: none
    std::uint64_t bytes = 0;
    QDateTime started; // invalid: no worker was started for the row
    QDateTime ended;   // invalid: the row's worker had not ended
};

// One run of velmora-cli: what it was asked and what every picked row ended with.
struct RunRecord {
    batch::BatchKind kind = batch::BatchKind::Copy;
    QString servers;
    QString file;
    int limit = 0;
    bool interrupted = false;
    QDateTime started;
    QDateTime ended;
    std::vector<RowRecord> rows;

    std::map<QString, int> rowsByOutcome() const;
    int abortedRows() const;
    // Rows that did not end with the batch's mark of success.
    int failedRows() const;
    std::uint64_t bytes() const;
};

// The report forms: a JSON object with the run and its "rows", or CSV with
// one line per row under a header line. Both UTF-8.
QByteArray reportJson(const RunRecord& run);
QByteArray reportCsv(const RunRecord& run);

// Writes the file whole or not at all.
platform::Status writeReportFile(const std::string& path, const QByteArray& content);

// The texts of the rows of an earlier report (either form) that did not
// succeed; an error in plain words when the file cannot be read or is no
// such report.
platform::Result<std::vector<QString>> failedRowTexts(const std::string& path);

} // namespace velmora::cli
