#pragma once

#include "batch/batchwindow.h"
#include "batch/rowreport.h"
#include "fileset/fileset.h"
#include "serverlist/serverlistmodel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>

#include <functional>
#include <utility>

namespace velmora::testsupport {

// A window without widgets for the batches: the rows, the file set, the two log
// panes as lists of lines, every state-label change in order, and the rows'
// reports and the batches' ends.
class FakeBatchWindow final : public batch::BatchWindow {
public:
    serverlist::ServerListModel& lista() override { return lista_; }
    fileset::FileSet& fileSet() override { return fileSet_; }
    void appendMemo1(const QString& line) override { memo1.append(line); }
    void appendMemo2(const QString& line) override { memo2.append(line); }
    void setStateLabel(batch::StateColour colour, const QString& caption) override {
        labels.append({colour, caption});
    }
    void rowReported(const batch::RowReport& report) override { reports.append(report); }
    void batchEnded(const batch::BatchSummary& summary) override { summaries.append(summary); }

    // Rows as a load makes them: checked, mark 0, "?" and "?".
    void load(const std::vector<std::string>& captions) {
        lista_.removeAll();
        for (const std::string& caption : captions)
            lista_.addRow(caption, {QStringLiteral("?"), QStringLiteral("?")});
    }

    QStringList memo1;
    QStringList memo2;
    QList<std::pair<batch::StateColour, QString>> labels;
    QList<batch::RowReport> reports;
    QList<batch::BatchSummary> summaries;

private:
    serverlist::ServerListModel lista_;
    fileset::FileSet fileSet_;
};

// Runs the main thread's events until the condition holds; false after the
// time-out.
inline bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

} // namespace velmora::testsupport
