#pragma once

#include <QDate>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <memory>

// The operations journal: what every batch, robocopy run, ping and open
// folder did, kept after the window has closed, with the system's reasons that
// a row's short text cannot show. Widget-free, so that a command-line program
// writes the same journal.
namespace velmora::app {

// One file a day in the journal's folder, journal-YYYY-MM-DD.jsonl (the local
// date of the record), one JSON object a line. append() only queues: a thread
// of the journal's own writes, so that a caller never waits for the disk. Each
// line goes to the file in one write to a file opened for appending, so lines
// of two programs writing the same day never mix. The folder is created 0700
// and the files 0600: the records name servers and the reasons of failures.
class Journal {
public:
    explicit Journal(QString folder);
    // Writes what is still queued, then ends the writer.
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    const QString& folder() const { return folder_; }
    // The file of a day's records.
    QString fileFor(const QDate& day) const;

    // Adds "time" (now, ISO 8601 with milliseconds and the UTC offset) where
    // the record has none, and "pid", then queues the record. Any thread.
    void append(QJsonObject record);
    // Waits until every record appended so far has been written (or has
    // failed), at most for the limit. True when nothing is left in the queue.
    bool flush(std::chrono::milliseconds limit);
    // The last write that failed, as "path: reason"; empty when none has.
    QString lastError() const;

private:
    struct Writer;
    QString folder_;
    std::unique_ptr<Writer> writer_;
};

// $XDG_STATE_HOME/velmora, or ~/.local/state/velmora (Windows:
// %LOCALAPPDATA%\velmora); empty when the system cannot tell.
QString defaultJournalFolder();

// The program's journal in defaultJournalFolder(): created at first use and
// never destroyed, since the program ends with quick_exit (endProgram flushes
// it first).
Journal& programJournal();
// Writes what the program's journal holds, if it has been used at all.
bool flushProgramJournal(std::chrono::milliseconds limit);

// A record of its own in the program's journal, tied to no command: a warning
// the program gives, such as a credentials file that others may read.
// {"record":"warning","subject":subject,"text":text}.
void journalWarning(const QString& subject, const QString& text);

// The time text of the records: local time, ISO 8601 with milliseconds and the
// offset from UTC, such as 2009-11-05T14:03:07.250+01:00.
QString journalTime(const QDateTime& moment);

} // namespace velmora::app
