#include "batch/verstart.h"

#include "app/formats.h"
#include "batch/batchwindow.h"
#include "checks/ver.h"

namespace velmora::batch {

QString TVerStart::startLine() const {
    return QStringLiteral("Početak provere verzija ") + app::dateTextToday();
}

QString TVerStart::endLine() const {
    return QStringLiteral("Puštena zadnja nit ") + app::dateTextToday();
}

bool TVerStart::takeInputs(BatchWindow& window, int) {
    const fileset::FileSet& fileSet = window.fileSet();
    if (!fileSet.isHeld())
        return false;
    localPath_ = fileSet.path();
    image_ = fileSet.image();
    return true;
}

bool TVerStart::inputsStillHeld(BatchWindow& window) const {
    return window.fileSet().isHeld() && window.fileSet().image() == image_;
}

void TVerStart::startWorker(const DispatchedRow& row) {
    auto* worker = new checks::TVer(context_);
    worker->RowIndex = row.index;
    worker->LocalPath = localPath_;
    worker->RowPath = row.caption;
    worker->ListGeneration = row.listGeneration;
    worker->Start();
    context_->state().workerStarted();
}

} // namespace velmora::batch
