#include "checks/provera.h"

#include "app/formats.h"
#include "batch/batchwindow.h"
#include "batch/elapsed.h"
#include "batch/rowtarget.h"
#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"

#include <chrono>

namespace velmora::checks {

using serverlist::ServerListModel;

void TProvera::Execute() {
    const auto started = std::chrono::steady_clock::now();
    const bool reachable = context_->fileSystemFor(Path).directoryExists(Path);
    const QString path = ServerListModel::displayText(Path);
    (void)context_->onMainThread([&](batch::BatchWindow& window) {
        ServerListModel& lista = window.lista();
        const bool sameLoad = batch::isSameLoad(lista, RowIndex, ListGeneration);
        if (reachable) {
            if (sameLoad)
                lista.setMark(RowIndex, serverlist::MarkReachable);
            window.appendMemo1(QStringLiteral("Putanja ") + path + QStringLiteral(" je dostupna ") +
                               app::dateTimeTextNow());
            if (sameLoad)
                lista.setSubItem(RowIndex, 1,
                                 app::elapsedTimeText(batch::elapsedMilliseconds(started)));
        } else {
            if (sameLoad)
                lista.setMark(RowIndex, serverlist::MarkUnreachable);
            window.appendMemo2(QStringLiteral("Putanja ") + path +
                               QStringLiteral(" nije dostupna ili je loša veza ") +
                               app::dateTimeTextNow());
            if (sameLoad)
                lista.setSubItem(RowIndex, 1, QStringLiteral("nedostupan"));
        }
    });
    setFreeOnTerminate(true);
    context_->state().workerEnded();
}

} // namespace velmora::checks
