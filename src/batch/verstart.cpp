#include "batch/verstart.h"

#include "app/formats.h"
#include "checks/ver.h"

namespace velmora::batch {

QString TVerStart::startLine() const {
    return QStringLiteral("Početak provere verzija ") + app::dateTextToday();
}

QString TVerStart::endLine() const {
    return QStringLiteral("Puštena zadnja nit ") + app::dateTextToday();
}

void TVerStart::startWorker(const DispatchedRow& row) {
    auto* worker = new checks::TVer(context_);
    worker->RowIndex = row.index;
    worker->LocalPath = localPath_;
    worker->RowPath = row.caption;
    worker->ListGeneration = row.listGeneration;
    worker->Run = row.run;
    row.run->workerStarted();
    worker->Start();
    context_->state().workerStarted();
}

} // namespace velmora::batch
