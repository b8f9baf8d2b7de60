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
    report_.kind = batch::BatchKind::VersionCheck;
    report_.batchId = Run ? Run->id() : 0;
    report_.row = RowIndex;
    report_.listGeneration = ListGeneration;
    report_.caption = RowPath;
    report_.started = QDateTime::currentDateTime();
    const Outcome outcome = compare();
    report_.target = RemotePath;
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
        report_.ended = QDateTime::currentDateTime();
        window.rowReported(report_);
    });
    if (Run)
        Run->workerEnded(report_, *context_);
    context_->state().workerEnded();
}

TVer::Outcome TVer::compare() {
    FileName = platform::fileNameForRow(RowPath, LocalPath);
    RemotePath = platform::joinPath(RowPath, FileName);
    platform::FileSystem& remote = context_->fileSystemFor(RemotePath);
    // An empty row names no server; joined, it would look in the disk's root.
    if (RowPath.empty()) {
        report_.reason = "The row names no server";
        return Outcome::Missing;
    }
    // A file, not a folder, must stand there; the entry's error is the reason.
    auto present = remote.findEntry(RemotePath);
    if (!present || (present.value().attributes & platform::AttrDirectory)) {
        report_.reason = present ? "A folder stands in the file's place" : present.error().message;
        return Outcome::Missing;
    }
    auto local = context_->nativeFileSystem().findEntry(LocalPath);
    if (!local) {
        report_.reason = "The local file: " + local.error().message;
        return Outcome::Missing;
    }
    LocalEntry = local.value();
    auto remoteEntry = remote.findEntry(RemotePath);
    if (!remoteEntry) {
        report_.reason = remoteEntry.error().message;
        return Outcome::Missing;
    }
    RemoteEntry = remoteEntry.value();
    if (LocalEntry.size != RemoteEntry.size)
        return Outcome::SizeDiffers;
    if (LocalEntry.time != RemoteEntry.time)
        return Outcome::DateDiffers;
    EndTime = std::chrono::steady_clock::now();
    return Outcome::Identical;
}

void TVer::setRow(batch::BatchWindow& window, int mark, const QString& info) {
    report_.mark = mark;
    report_.infoText = info;
    ServerListModel& lista = window.lista();
    if (!batch::isSameLoad(lista, RowIndex, ListGeneration))
        return;
    lista.setMark(RowIndex, mark);
    lista.setSubItem(RowIndex, 1, info);
}

void TVer::logSuccess(batch::BatchWindow& window, const QString& line) {
    report_.logLine = line;
    window.appendMemo1(line);
}

void TVer::logFailure(batch::BatchWindow& window, const QString& line) {
    report_.logLine = line;
    window.appendMemo2(line);
}

void TVer::ShowMissing(batch::BatchWindow& window) {
    logFailure(window, ServerListModel::displayText(RemotePath) + QStringLiteral(" ne postoji! ") +
                           app::dateTextToday());
    setRow(window, serverlist::MarkBadVersion, QStringLiteral("ne postoji"));
}

void TVer::ShowDateDifference(batch::BatchWindow& window) {
    logFailure(window, QStringLiteral("Razlika u datumu sa fajlom ") +
                           ServerListModel::displayText(RemotePath) + QStringLiteral("! (") +
                           app::dateTimeText(LocalEntry.time) + QStringLiteral(" i ") +
                           app::dateTimeText(RemoteEntry.time) + QStringLiteral(") ") +
                           app::dateTextToday());
    setRow(window, serverlist::MarkBadVersion,
           QStringLiteral("razlika u datumu ") + app::dateTimeText(RemoteEntry.time));
}

void TVer::ShowSizeDifference(batch::BatchWindow& window) {
    logFailure(window, QStringLiteral("Razlika u veličini sa fajlom ") +
                           ServerListModel::displayText(RemotePath) + QStringLiteral("! (") +
                           kilobytes(LocalEntry.size) + QStringLiteral("KB i ") +
                           kilobytes(RemoteEntry.size) + QStringLiteral("KB) ") +
                           app::dateTextToday());
    setRow(window, serverlist::MarkBadVersion,
           QStringLiteral("razlika u veličini - ") + kilobytes(LocalEntry.size) +
               QStringLiteral("KB <> ") + kilobytes(RemoteEntry.size) + QStringLiteral("KB"));
}

void TVer::ShowIdentical(batch::BatchWindow& window) {
    logSuccess(window,
               QStringLiteral("Fajl je identičan ") + ServerListModel::displayText(RemotePath) +
                   QStringLiteral("! (") + kilobytes(LocalEntry.size) + QStringLiteral("KB i ") +
                   kilobytes(RemoteEntry.size) + QStringLiteral("KB) ") + app::dateTextToday());
    setRow(window, serverlist::MarkGoodVersion,
           app::elapsedTimeText(batch::elapsedMilliseconds(StartTime, EndTime)));
}

} // namespace velmora::checks
