#include "batch/abortcopy.h"

#include "serverlist/marks.h"

namespace velmora::batch {

AbortOutcome abortCopy(OperationState& state, serverlist::ServerListModel& lista, int selectedRow) {
    if (!lista.isValidRow(selectedRow))
        return AbortOutcome::NoRowSelected;
    if (lista.mark(selectedRow) != serverlist::MarkWorking)
        return AbortOutcome::NotWorking;
    lista.setMark(selectedRow, serverlist::MarkCopyFailed);
    (void)state.copyWorkers().requestTermination(selectedRow, lista.generation());
    return AbortOutcome::Aborted;
}

} // namespace velmora::batch
