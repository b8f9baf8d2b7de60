#include "batch/kopiraj.h"

#include "app/formats.h"
#include "batch/batchwindow.h"
#include "batch/copyprogress.h"
#include "batch/elapsed.h"
#include "batch/rowtarget.h"
#include "platform/cancellation.h"
#include "platform/paths.h"
#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"

#include <algorithm>

namespace velmora::batch {

using platform::FileSystem;
using platform::WritableFile;
using serverlist::ServerListModel;

void TKopiraj::Execute() {
    setFreeOnTerminate(true);
    CopiedBytes = 0;
    LastPercent = 0;
    started_ = std::chrono::steady_clock::now();
    report(copy());
    // Out of the table before the count falls: once the worker has ended no
    // abort request may reach it.
    context_->state().copyWorkers().remove(RowIndex, this);
    context_->state().workerEnded();
}

TKopiraj::Outcome TKopiraj::copy() {
    FileSystem& fileSystem = context_->fileSystemFor(DestPath);
    const std::string temp = DestPath + "~";
    static const std::vector<char> kNothing;
    const std::vector<char>& image = Image ? *Image : kNothing;
    const std::uint64_t totalBytes = image.size();

    if (ServerFolder.empty())
        return Outcome::CannotCreate;
    auto created = fileSystem.createForWriting(temp);
    if (!created)
        return unlessAborted(Outcome::CannotCreate);
    std::unique_ptr<WritableFile> file = std::move(created).value();

    std::uint64_t written = 0;
    std::uint64_t sinceOpened = 0;
    std::size_t block = 0;
    do {
        block = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, totalBytes - written));
        auto result = file->write(image.data() + written, block);
        if (!result || result.value() != block) {
            (void)file->close();
            return unlessAborted(Outcome::WriteFailed);
        }
        written += block;
        sinceOpened += block;
        if (Terminated()) {
            (void)file->close();
            return Outcome::Aborted;
        }
        CopiedBytes += static_cast<double>(block);
        if (sinceOpened >= kReopenEvery) {
            // A reopen that fails leaves the copy short, like a write that fails.
            if (!file->close())
                return unlessAborted(Outcome::WriteFailed);
            auto reopened = fileSystem.reopenForWriting(temp, written);
            if (!reopened)
                return unlessAborted(Outcome::WriteFailed);
            file = std::move(reopened).value();
            sinceOpened = 0;
        }
        showProgress(totalBytes);
    } while (block == kBlockSize);

    // Data the system kept back and could not write shows up at close.
    if (!file->close())
        return unlessAborted(Outcome::WriteFailed);
    if (Terminated())
        return Outcome::Aborted;
    // From here the copy runs to its end: an abort that cancelled a request
    // half-way through the renames could leave the server without its program.
    const platform::UncancellableScope toTheEnd;
    if (!fileSystem.fileExists(temp))
        return Outcome::TempMissing;

    auto local = context_->nativeFileSystem().findEntry(LocalPath);
    if (!local)
        return Outcome::LocalMissing;
    auto remote = fileSystem.findEntry(temp);
    if (!remote)
        return Outcome::TempMissing;
    if (local.value().size != remote.value().size)
        return Outcome::SizeDiffers;
    return putInPlace(fileSystem, temp);
}

// A step that failed because the abort cancelled a wait on the server is the
// abort, which has already marked the row.
TKopiraj::Outcome TKopiraj::unlessAborted(Outcome failure) const {
    return Terminated() ? Outcome::Aborted : failure;
}

TKopiraj::Outcome TKopiraj::putInPlace(FileSystem& fileSystem, const std::string& temp) {
    const std::string backup =
        platform::folderPart(DestPath) + "_" + platform::fileNamePart(DestPath);
    if (fileSystem.fileExists(backup))
        (void)fileSystem.deleteFile(backup);
    // Fails when there is no previous copy yet, or it cannot be moved (held open
    // on the server): then nothing is backed up, and the next rename fails too.
    const bool backedUp = fileSystem.renameNoReplace(DestPath, backup).ok();
    const bool placed = fileSystem.renameNoReplace(temp, DestPath).ok();
    if (placed && HeldTime)
        (void)fileSystem.setLastWriteTime(DestPath, *HeldTime);
    if (placed && !fileSystem.fileExists(temp))
        return Outcome::Copied;
    // The server must not be left without its program: the previous copy goes
    // back to its name when the new one could not take it.
    if (backedUp && !fileSystem.fileExists(DestPath))
        (void)fileSystem.renameNoReplace(backup, DestPath);
    return Outcome::CannotRename;
}

void TKopiraj::showProgress(std::uint64_t totalBytes) {
    const int percent = progressPercent(CopiedBytes, totalBytes);
    if (percent == LastPercent)
        return;
    LastPercent = percent;
    const QString percentText = QString::number(percent) + QLatin1Char('%');
    const QString kilobytes = progressKilobytes(CopiedBytes, totalBytes);
    (void)context_->onMainThread([&](BatchWindow& window) {
        ServerListModel& lista = window.lista();
        if (!isSameLoad(lista, RowIndex, ListGeneration))
            return;
        lista.setSubItem(RowIndex, 0, percentText);
        lista.setSubItem(RowIndex, 1, kilobytes);
    });
}

void TKopiraj::reportFailure(BatchWindow& window, const QString& line, const QString& info) {
    window.appendMemo2(line);
    ServerListModel& lista = window.lista();
    if (!isSameLoad(lista, RowIndex, ListGeneration))
        return;
    lista.setMark(RowIndex, serverlist::MarkCopyFailed);
    lista.setSubItem(RowIndex, 1, info);
}

void TKopiraj::report(Outcome outcome) {
    if (outcome == Outcome::Aborted)
        return; // the abort has marked the row; the temporary file stays
    const QString dest = ServerListModel::displayText(DestPath);
    const QString local = ServerListModel::displayText(LocalPath);
    (void)context_->onMainThread([&](BatchWindow& window) {
        const QString today = app::dateTextToday();
        switch (outcome) {
        case Outcome::Copied: {
            ServerListModel& lista = window.lista();
            const bool sameLoad = isSameLoad(lista, RowIndex, ListGeneration);
            if (sameLoad)
                lista.setMark(RowIndex, serverlist::MarkCopied);
            window.appendMemo1(dest + QStringLiteral(" - OK ") + app::dateTimeTextNow());
            if (sameLoad)
                lista.setSubItem(RowIndex, 1, app::elapsedTimeText(elapsedMilliseconds(started_)));
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
    });
}

} // namespace velmora::batch
