#include "checks/provera.h"

#include "app/formats.h"
#include "batch/batchwindow.h"
#include "batch/elapsed.h"
#include "batch/rowreport.h"
#include "batch/rowtarget.h"
#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"

#include <chrono>

namespace velmora::checks {

using serverlist::ServerListModel;

void TProvera::Execute() {
    const auto started = std::chrono::steady_clock::now();
    batch::RowReport report;
    report.kind = batch::BatchKind::Reachability;
    report.batchId = Run ? Run->id() : 0;
    report.row = RowIndex;
    report.listGeneration = ListGeneration;
    report.caption = Path;
    report.target = Path;
    report.started = QDateTime::currentDateTime();
    // Reachable: the path's attributes can be read and carry the folder
    // attribute. The entry, rather than a yes or no, keeps the reason.
    const auto entry = context_->fileSystemFor(Path).findEntry(Path);
    const bool reachable = entry && (entry.value().attributes & platform::AttrDirectory);
    if (!reachable)
        report.reason = entry ? "Not a folder" : entry.error().message;
    const QString path = ServerListModel::displayText(Path);
    (void)context_->onMainThread([&](batch::BatchWindow& window) {
        ServerListModel& lista = window.lista();
        const bool sameLoad = batch::isSameLoad(lista, RowIndex, ListGeneration);
        if (reachable) {
            report.mark = serverlist::MarkReachable;
            if (sameLoad)
                lista.setMark(RowIndex, report.mark);
            report.logLine = QStringLiteral("Putanja ") + path + QStringLiteral(" je dostupna ") +
                             app::dateTimeTextNow();
            window.appendMemo1(report.logLine);
            report.infoText = app::elapsedTimeText(batch::elapsedMilliseconds(started));
            if (sameLoad)
                lista.setSubItem(RowIndex, 1, report.infoText);
        } else {
            report.mark = serverlist::MarkUnreachable;
            if (sameLoad)
                lista.setMark(RowIndex, report.mark);
            report.logLine = QStringLiteral("Putanja ") + path +
                             QStringLiteral(" nije dostupna ili je loša veza ") +
                             app::dateTimeTextNow();
            window.appendMemo2(report.logLine);
            report.infoText = QStringLiteral("nedostupan");
            if (sameLoad)
                lista.setSubItem(RowIndex, 1, report.infoText);
        }
        report.ended = QDateTime::currentDateTime();
        window.rowReported(report);
    });
    setFreeOnTerminate(true);
    if (Run)
        Run->workerEnded(report, *context_);
    context_->state().workerEnded();
}

} // namespace velmora::checks
