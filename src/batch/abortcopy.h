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

// Main thread: aborts the copy of every row as abortCopy does the selected
// one's. Rows marked working turn failed, and every live copy worker of this
// load of the list gets the termination request, also one whose row was
// marked before its dispatcher had stored it: calling this again reaches it.
// Returns the number of requests sent.
int abortAllCopies(OperationState& state, serverlist::ServerListModel& lista);

} // namespace velmora::batch
