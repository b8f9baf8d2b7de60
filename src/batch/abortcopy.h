#pragma once

#include "batch/operationstate.h"
#include "serverlist/serverlistmodel.h"

namespace velmora::batch {

enum class AbortOutcome {
    NoRowSelected, // "Izaberite lokaciju!"
    NotWorking,    // "Ne mozete prekinuti ovu operaciju!"
    Aborted,
};

// Main thread: aborts the copy of the selected row. A row marked working turns
// failed at once; its live copy worker, if it has one, gets the termination
// request. A row working under a version or reachability check, or whose copy
// worker has already ended, has none to reach.
AbortOutcome abortCopy(OperationState& state, serverlist::ServerListModel& lista, int selectedRow);

} // namespace velmora::batch
