#include "batch/kopirajstart.h"

#include "app/formats.h"
#include "batch/batchwindow.h"
#include "batch/kopiraj.h"
#include "platform/paths.h"

namespace velmora::batch {

QString TKopirajStart::startLine() const {
    return QStringLiteral("Početak kopiranja...") + app::dateTimeTextNow();
}

QString TKopirajStart::endLine() const {
    return QStringLiteral("Puštena zadnja nit...") + app::dateTimeTextNow();
}

bool TKopirajStart::takeInputs(BatchWindow& window, int rowCount) {
    context_->state().copyWorkers().resize(rowCount);
    const fileset::FileSet& fileSet = window.fileSet();
    if (!fileSet.isHeld())
        return false;
    localPath_ = fileSet.path();
    image_ = fileSet.image();
    heldTime_ = fileSet.heldTime();
    return true;
}

bool TKopirajStart::inputsStillHeld(BatchWindow& window) const {
    // The same image, not merely a file of the same name: a Clear and a new Add
    // in between give another image.
    return window.fileSet().isHeld() && window.fileSet().image() == image_;
}

void TKopirajStart::startWorker(const DispatchedRow& row) {
    auto* worker = new TKopiraj(context_);
    worker->DestPath = platform::joinPath(row.caption, platform::fileNamePart(localPath_));
    worker->RowIndex = row.index;
    worker->ServerFolder = row.caption;
    worker->Image = image_;
    worker->LocalPath = localPath_;
    worker->HeldTime = heldTime_;
    worker->ListGeneration = row.listGeneration;
    context_->state().copyWorkers().store(row.index, worker, row.listGeneration);
    worker->Start();
    context_->state().workerStarted();
}

} // namespace velmora::batch
