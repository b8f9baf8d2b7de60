#pragma once

#include "serverlist/serverlistmodel.h"

#include <cstdint>

namespace velmora::batch {

// The load of the server list that a batch thread was started on. Rows are
// addressed by position, and a reload puts other servers at the same positions:
// a worker writes its row only while the list still holds its load.
inline bool isSameLoad(const serverlist::ServerListModel& lista, int row,
                       std::uint64_t listGeneration) {
    return lista.generation() == listGeneration && lista.isValidRow(row);
}

} // namespace velmora::batch
