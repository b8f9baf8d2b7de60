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

int abortAllCopies(OperationState& state, serverlist::ServerListModel& lista) {
    int requests = 0;
    for (int row = 0; row < lista.count(); ++row) {
        if (lista.mark(row) == serverlist::MarkWorking)
            lista.setMark(row, serverlist::MarkCopyFailed);
        if (state.copyWorkers().requestTermination(row, lista.generation()))
            ++requests;
    }
    return requests;
}

} // namespace velmora::batch
