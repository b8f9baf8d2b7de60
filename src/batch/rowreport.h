#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <map>
#include <string>

namespace velmora::batch {

// The three kinds of batch.
enum class BatchKind { Copy, VersionCheck, Reachability };

// A short English name of the kind ("copy", "check", "reach"), for records.
const char* batchKindName(BatchKind kind);

// What one worker did to its row, for whoever keeps a record of batches beside
// the window (the journal, the command line's report). Built by the worker
// from what it writes into the row and the log, plus what the row cannot
// show: the system's reason for a failure and the bytes written.
struct RowReport {
    BatchKind kind = BatchKind::Copy;
    std::uint64_t batchId = 0;
    int row = 0;
    std::uint64_t listGeneration = 0; // the load of the list the row belongs to
    std::string caption;              // the row's caption as loaded (bytes)
    std::string target;               // the path the worker worked on
    // The mark the worker set; -1 when it set none (an aborted copy keeps the
    // abort's mark).
    int mark = -1;
    bool aborted = false;
    QString percentText; // the "%" column as the worker left it; empty: untouched
    QString infoText;    // the "Informacije" column as the worker left it
    QString logLine;     // the line written into Memo1 or Memo2; empty: none
    std::string reason;  // the system's reason, where the program had one
    std::uint64_t bytes = 0;
    QDateTime started;
    QDateTime ended;
};

// A whole batch, once its last worker has ended.
struct BatchSummary {
    BatchKind kind = BatchKind::Copy;
    std::uint64_t batchId = 0;
    std::map<int, int> rowsByMark; // mark -> rows that ended with it
    int aborted = 0;
    int unmarked = 0; // ended without a mark of their own, not by an abort
    std::uint64_t bytes = 0;
    QDateTime started;
    QDateTime ended;

    int rows() const;
    // Rows that did not end with the batch's mark of success.
    int failedRows() const;
    std::int64_t wallMilliseconds() const { return started.msecsTo(ended); }
};

// The mark that means success for the kind of batch.
int successMark(BatchKind kind);

} // namespace velmora::batch
