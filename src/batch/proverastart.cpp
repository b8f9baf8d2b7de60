#include "batch/proverastart.h"

#include "app/formats.h"
#include "checks/provera.h"

namespace velmora::batch {

QString TProveraStart::startLine() const {
    return QStringLiteral("Početak provere ") + app::dateTimeTextNow();
}

QString TProveraStart::endLine() const {
    return QStringLiteral("Zadnja nit provere puštena ") + app::dateTimeTextNow();
}

bool TProveraStart::takeInputs(BatchWindow&, int rowCount) {
    RowCount = rowCount;
    return true;
}

void TProveraStart::startWorker(const DispatchedRow& row) {
    context_->state().workerStarted();
    auto* worker = new checks::TProvera(context_);
    worker->Path = row.caption;
    worker->RowIndex = row.index;
    worker->ListGeneration = row.listGeneration;
    worker->Run = row.run;
    row.run->workerStarted();
    worker->Start();
}

} // namespace velmora::batch
