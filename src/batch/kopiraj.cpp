#include "batch/kopiraj.h"

#include "app/formats.h"
#include "batch/batchwindow.h"
#include "batch/copyprogress.h"
#include "batch/elapsed.h"
#include "batch/placement.h"
#include "batch/placementgate.h"
#include "batch/rowtarget.h"
#include "platform/cancellation.h"
#include "platform/paths.h"
#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"

#include <algorithm>
#include <cerrno>

namespace velmora::batch {

using platform::FileSystem;
using platform::Status;
using platform::WritableFile;
using serverlist::ServerListModel;

void TKopiraj::Execute() {
    setFreeOnTerminate(true);
    CopiedBytes = 0;
    LastPercent = 0;
    started_ = std::chrono::steady_clock::now();
    report_.kind = BatchKind::Copy;
    report_.batchId = Run ? Run->id() : 0;
    report_.row = RowIndex;
    report_.listGeneration = ListGeneration;
    report_.caption = ServerFolder;
    report_.target = DestPath;
    report_.started = QDateTime::currentDateTime();
    report(copy());
    // Out of the table before the count falls: once the worker has ended no
    // abort request may reach it.
    context_->state().copyWorkers().remove(RowIndex, this);
    if (Run)
        Run->workerEnded(report_, *context_);
    context_->state().workerEnded();
}

TKopiraj::Outcome TKopiraj::copy() {
    FileSystem& fileSystem = context_->fileSystemFor(DestPath);
    const std::string temp = DestPath + "~";
    static const std::vector<char> kNothing;
    const std::vector<char>& image = Image ? *Image : kNothing;
    const std::uint64_t totalBytes = image.size();

    if (ServerFolder.empty())
        return failed(Outcome::CannotCreate, "The row names no server");
    auto created = fileSystem.createForWriting(temp);
    if (!created)
        return failed(Outcome::CannotCreate, created.error());
    std::unique_ptr<WritableFile> file = std::move(created).value();

    // The bytes go from the shared image itself: the file gathers the blocks
    // and hands them over in the pieces the disk or link does best with. The
    // blocks and the reopens stay the points where the abort is looked at and
    // the progress counted.
    std::uint64_t written = 0;
    std::uint64_t sinceOpened = 0;
    std::size_t block = 0;
    do {
        block = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, totalBytes - written));
        auto result = file->writeStable(image.data() + written, block);
        if (!result || result.value() != block) {
            file->abandon();
            return failed(Outcome::WriteFailed,
                          result ? platform::systemError(ENOSPC) : result.error());
        }
        written += block;
        sinceOpened += block;
        if (Terminated()) {
            // What had gathered is not sent: T keeps what the server took.
            file->abandon();
            report_.bytes = file->acceptedBytes();
            return Outcome::Aborted;
        }
        CopiedBytes += static_cast<double>(block);
        if (sinceOpened >= kReopenEvery) {
            // The file stays open under the same handle: closing it would let
            // another holder of the old descriptor keep its lock in between.
            // A reopen that fails leaves the copy short, like a write that fails.
            if (Status reopened = file->reopenAt(written); !reopened) {
                file->abandon();
                return failed(Outcome::WriteFailed, reopened.error());
            }
            sinceOpened = 0;
        }
        showProgress(totalBytes, file->acceptedBytes());
    } while (block == kBlockSize);

    // Data the system kept back and could not write shows up at close.
    if (Status closed = file->close(); !closed)
        return failed(Outcome::WriteFailed, closed.error());
    report_.bytes = file->acceptedBytes();
    if (Terminated())
        return Outcome::Aborted;
    // Only now has the disk or server taken the last bytes.
    showProgress(totalBytes, file->acceptedBytes());
    // From here the copy runs to its end: an abort that cancelled a request
    // half-way through the renames could leave the server without its program.
    const platform::UncancellableScope toTheEnd;
    // One look at T's entry serves both as the test that it exists and for
    // its size.
    auto remote = fileSystem.findEntry(temp);
    if (!remote || (remote.value().attributes & platform::AttrDirectory))
        return failed(Outcome::TempMissing,
                      remote ? "A folder stands in the copy's place" : remote.error().message);

    auto local = context_->nativeFileSystem().findEntry(LocalPath);
    if (!local)
        return failed(Outcome::LocalMissing, local.error());
    if (local.value().size != remote.value().size)
        return failed(Outcome::SizeDiffers,
                      "The local file has " + std::to_string(local.value().size) +
                          " bytes, the copy " + std::to_string(remote.value().size));
    return putInPlace(fileSystem, temp);
}

// A step that failed because the abort cancelled a wait on the server is the
// abort, which has already marked the row.
TKopiraj::Outcome TKopiraj::failed(Outcome failure, const platform::Error& reason) {
    return failed(failure, reason.message);
}

TKopiraj::Outcome TKopiraj::failed(Outcome failure, std::string reason) {
    if (Terminated())
        return Outcome::Aborted;
    report_.reason = std::move(reason);
    return failure;
}

TKopiraj::Outcome TKopiraj::putInPlace(FileSystem& fileSystem, const std::string& temp) {
    // A process that is ending waits for copies in their renames, and lets
    // none begin them any more.
    const PlacementTurn turn;
    if (!turn)
        return Outcome::Aborted;
    const PlacementNames names{
        DestPath, temp, platform::folderPart(DestPath) + "_" + platform::fileNamePart(DestPath)};
    const std::uint64_t size = Image ? Image->size() : 0;
    // The placement tests each rename's own result, and a T renamed onto D is
    // gone: no further look at T is needed.
    const Placement placement = placeCopy(fileSystem, names, size, HeldTime);
    if (!placement.placed)
        return failed(Outcome::CannotRename, placement.reason);
    return Outcome::Copied;
}

// The row shows what the disk or server has taken, never more.
void TKopiraj::showProgress(std::uint64_t totalBytes, std::uint64_t acceptedBytes) {
    const auto accepted = static_cast<double>(acceptedBytes);
    const int percent = progressPercent(accepted, totalBytes);
    if (percent == LastPercent)
        return;
    LastPercent = percent;
    const QString percentText = QString::number(percent) + QLatin1Char('%');
    const QString kilobytes = progressKilobytes(accepted, totalBytes);
    (void)context_->onMainThread([&](BatchWindow& window) {
        ServerListModel& lista = window.lista();
        if (!isSameLoad(lista, RowIndex, ListGeneration))
            return;
        lista.setSubItem(RowIndex, 0, percentText);
        lista.setSubItem(RowIndex, 1, kilobytes);
    });
    report_.percentText = percentText;
    report_.infoText = kilobytes;
}

void TKopiraj::reportFailure(BatchWindow& window, const QString& line, const QString& info) {
    report_.mark = serverlist::MarkCopyFailed;
    report_.logLine = line;
    report_.infoText = info;
    window.appendMemo2(line);
    ServerListModel& lista = window.lista();
    if (!isSameLoad(lista, RowIndex, ListGeneration))
        return;
    lista.setMark(RowIndex, serverlist::MarkCopyFailed);
    lista.setSubItem(RowIndex, 1, info);
}

void TKopiraj::report(Outcome outcome) {
    if (outcome == Outcome::Aborted) {
        // The abort has marked the row; the temporary file stays. Nothing
        // changes in the window, but the records beside it hear of it.
        report_.aborted = true;
        report_.ended = QDateTime::currentDateTime();
        (void)context_->onMainThread([&](BatchWindow& window) { window.rowReported(report_); });
        return;
    }
    const QString dest = ServerListModel::displayText(DestPath);
    const QString local = ServerListModel::displayText(LocalPath);
    (void)context_->onMainThread([&](BatchWindow& window) {
        const QString today = app::dateTextToday();
        switch (outcome) {
        case Outcome::Copied: {
            ServerListModel& lista = window.lista();
            const bool sameLoad = isSameLoad(lista, RowIndex, ListGeneration);
            report_.mark = serverlist::MarkCopied;
            if (sameLoad)
                lista.setMark(RowIndex, report_.mark);
            report_.logLine = dest + QStringLiteral(" - OK ") + app::dateTimeTextNow();
            window.appendMemo1(report_.logLine);
            report_.infoText = app::elapsedTimeText(elapsedMilliseconds(started_));
            if (sameLoad)
                lista.setSubItem(RowIndex, 1, report_.infoText);
            break;
        }
        case Outcome::CannotCreate:
            reportFailure(window,
                          dest + QStringLiteral(" - ne mogu da kreiram fajl ") +
                              app::dateTimeTextNow(),
                          QStringLiteral("ne mogu da kreiram fajl"));
            break;
        case Outcome::WriteFailed:
            reportFailure(window, local + QStringLiteral(" Greška u kopiranju! ") + today,
                          QStringLiteral("greška u kopiranju"));
            break;
        case Outcome::LocalMissing:
            reportFailure(window, local + QStringLiteral(" ne postoji! ") + today,
                          QStringLiteral("ne postoji"));
            break;
        case Outcome::TempMissing:
            reportFailure(window, dest + QStringLiteral(" ne postoji! ") + today,
                          QStringLiteral("ne postoji"));
            break;
        case Outcome::SizeDiffers:
            reportFailure(window, dest + QStringLiteral(" loše kopiran! ") + today,
                          QStringLiteral("loše kopiran"));
            break;
        case Outcome::CannotRename:
            reportFailure(window, dest + QStringLiteral(" ne mogu da ga preimenujem! ") + today,
                          QStringLiteral("ne mogu da preimenujem"));
            break;
        case Outcome::Aborted:
            break;
        }
        report_.ended = QDateTime::currentDateTime();
        window.rowReported(report_);
    });
}

} // namespace velmora::batch
