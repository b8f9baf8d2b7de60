#include "checks/ver.h"

#include "app/formats.h"
#include "batch/batchwindow.h"
#include "batch/elapsed.h"
#include "batch/rowtarget.h"
#include "platform/listcharset.h"
#include "platform/paths.h"
#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"

namespace velmora::checks {

using serverlist::ServerListModel;

namespace {
// Whole kilobytes, truncated; sizes are kept in 64 bits, so files of 2 GiB and
// more compare and show right.
QString kilobytes(std::uint64_t bytes) {
    return QString::number(bytes / 1024);
}
} // namespace

void TVer::Execute() {
    setFreeOnTerminate(true);
    StartTime = std::chrono::steady_clock::now();
    const Outcome outcome = compare();
    (void)context_->onMainThread([&](batch::BatchWindow& window) {
        switch (outcome) {
        case Outcome::Missing:
            ShowMissing(window);
            break;
        case Outcome::DateDiffers:
            ShowDateDifference(window);
            break;
        case Outcome::SizeDiffers:
            ShowSizeDifference(window);
            break;
        case Outcome::Identical:
            ShowIdentical(window);
            break;
        }
    });
    context_->state().workerEnded();
}

TVer::Outcome TVer::compare() {
    FileName = platform::fileNameForRow(RowPath, LocalPath);
    RemotePath = platform::joinPath(RowPath, FileName);
    platform::FileSystem& remote = context_->fileSystemFor(RemotePath);
    // An empty row names no server; joined, it would look in the disk's root.
    if (RowPath.empty() || !remote.fileExists(RemotePath))
        return Outcome::Missing;
    auto local = context_->nativeFileSystem().findEntry(LocalPath);
    if (!local)
        return Outcome::Missing;
    LocalEntry = local.value();
    auto remoteEntry = remote.findEntry(RemotePath);
    if (!remoteEntry)
        return Outcome::Missing;
    RemoteEntry = remoteEntry.value();
    if (LocalEntry.size != RemoteEntry.size)
        return Outcome::SizeDiffers;
    if (LocalEntry.time != RemoteEntry.time)
        return Outcome::DateDiffers;
    EndTime = std::chrono::steady_clock::now();
    return Outcome::Identical;
}

void TVer::setRow(batch::BatchWindow& window, int mark, const QString& info) {
    ServerListModel& lista = window.lista();
    if (!batch::isSameLoad(lista, RowIndex, ListGeneration))
        return;
    lista.setMark(RowIndex, mark);
    lista.setSubItem(RowIndex, 1, info);
}

void TVer::ShowMissing(batch::BatchWindow& window) {
    window.appendMemo2(ServerListModel::displayText(RemotePath) + QStringLiteral(" ne postoji! ") +
                       app::dateTextToday());
    setRow(window, serverlist::MarkBadVersion, QStringLiteral("ne postoji"));
}

void TVer::ShowDateDifference(batch::BatchWindow& window) {
    window.appendMemo2(
        QStringLiteral("Razlika u datumu sa fajlom ") + ServerListModel::displayText(RemotePath) +
        QStringLiteral("! (") + app::dateTimeText(LocalEntry.time) + QStringLiteral(" i ") +
        app::dateTimeText(RemoteEntry.time) + QStringLiteral(") ") + app::dateTextToday());
    setRow(window, serverlist::MarkBadVersion,
           QStringLiteral("razlika u datumu ") + app::dateTimeText(RemoteEntry.time));
}

void TVer::ShowSizeDifference(batch::BatchWindow& window) {
    window.appendMemo2(QStringLiteral("Razlika u veličini sa fajlom ") +
                       ServerListModel::displayText(RemotePath) + QStringLiteral("! (") +
                       kilobytes(LocalEntry.size) + QStringLiteral("KB i ") +
                       kilobytes(RemoteEntry.size) + QStringLiteral("KB) ") + app::dateTextToday());
    setRow(window, serverlist::MarkBadVersion,
           QStringLiteral("razlika u veličini - ") + kilobytes(LocalEntry.size) +
               QStringLiteral("KB <> ") + kilobytes(RemoteEntry.size) + QStringLiteral("KB"));
}

void TVer::ShowIdentical(batch::BatchWindow& window) {
    window.appendMemo1(QStringLiteral("Fajl je identičan ") +
                       ServerListModel::displayText(RemotePath) + QStringLiteral("! (") +
                       kilobytes(LocalEntry.size) + QStringLiteral("KB i ") +
                       kilobytes(RemoteEntry.size) + QStringLiteral("KB) ") + app::dateTextToday());
    setRow(window, serverlist::MarkGoodVersion,
           app::elapsedTimeText(batch::elapsedMilliseconds(StartTime, EndTime)));
}

} // namespace velmora::checks
