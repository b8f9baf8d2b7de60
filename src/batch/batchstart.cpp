#include "batch/batchstart.h"

#include "batch/batchwindow.h"
#include "batch/rowtarget.h"
#include "serverlist/marks.h"

namespace velmora::batch {

namespace {
const QString kBusyCaption = QStringLiteral("RADIM...   ");
const QString kFreeCaption = QStringLiteral("SLOBODNO   ");
} // namespace

void BatchStart::Execute() {
    setFreeOnTerminate(true);
    walk();
    context_->state().dispatcherEnded();
}

void BatchStart::walk() {
    OperationState& state = context_->state();
    const auto run = std::make_shared<BatchRun>(kind(), state.nextBatchId());
    int rowCount = 0;
    std::uint64_t generation = 0;
    bool ready = false;
    const bool windowOpen = context_->onMainThread([&](BatchWindow& window) {
        if (countsRowsBeforeStartLine())
            rowCount = window.lista().count();
        window.appendMemo1(startLine());
        window.setStateLabel(StateColour::Busy, kBusyCaption);
        if (!countsRowsBeforeStartLine())
            rowCount = window.lista().count();
        generation = window.lista().generation();
        ready = takeInputs(window, rowCount);
    });
    if (!windowOpen)
        return;
    // However the walk ends, the batch is over once its last worker has ended.
    struct WalkEnd {
        BatchRun& run;
        BatchContext& context;
        ~WalkEnd() { run.walkEnded(context); }
    } walkEnd{*run, *context_};

    for (int index = 0; ready && index < rowCount; ++index) {
        // The wait comes first, at every row, checked or not.
        std::unique_lock turn = state.takeDispatchTurn();
        if (!state.waitForFreeSlot())
            return;
        DispatchedRow row{index, {}, generation, run};
        bool checked = false;
        bool stillValid = true;
        const bool called = context_->onMainThread([&](BatchWindow& window) {
            serverlist::ServerListModel& lista = window.lista();
            if (!isSameLoad(lista, index, generation) || !inputsStillHeld(window)) {
                stillValid = false;
                return;
            }
            if (!lista.checked(index))
                return;
            checked = true;
            lista.setMark(index, serverlist::MarkWorking);
            row.caption = lista.caption(index);
        });
        if (!called)
            return;
        if (!stillValid)
            break;
        if (checked)
            startWorker(row);
    }

    (void)context_->onMainThread([&](BatchWindow& window) {
        window.appendMemo1(endLine());
        window.setStateLabel(StateColour::Free, kFreeCaption);
    });
}

} // namespace velmora::batch
