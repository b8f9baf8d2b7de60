#include "batch/kopirajstart.h"

#include "app/formats.h"
#include "batch/batchwindow.h"
#include "batch/kopiraj.h"
#include "fileset/fileset.h"
#include "platform/listcharset.h"
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
    if (!FileSetBatchStart::takeInputs(window, rowCount))
        return false;
    heldTime_ = window.fileSet().heldTime();
    return true;
}

void TKopirajStart::startWorker(const DispatchedRow& row) {
    auto* worker = new TKopiraj(context_);
    worker->DestPath =
        platform::joinPath(row.caption, platform::fileNameForRow(row.caption, localPath_));
    worker->RowIndex = row.index;
    worker->ServerFolder = row.caption;
    worker->Image = image_;
    worker->LocalPath = localPath_;
    worker->HeldTime = heldTime_;
    worker->ListGeneration = row.listGeneration;
    worker->Run = row.run;
    row.run->workerStarted();
    context_->state().copyWorkers().store(row.index, worker, row.listGeneration);
    worker->Start();
    context_->state().workerStarted();
}

} // namespace velmora::batch
