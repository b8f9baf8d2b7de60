#pragma once

#include "cli/rowranges.h"
#include "platform/result.h"
#include "serverlist/serverlistmodel.h"

#include <QString>

#include <optional>
#include <vector>

namespace velmora::cli {

struct Selection {
    std::vector<int> rows;        // the picked rows, numbered from 0, in list order
    std::vector<QString> missing; // failed rows of the earlier report not in the list
};

// Picks the rows of a loaded list: all of them, or those that --rows names,
// or those whose text is one of an earlier report's failed rows, or those in
// both. Sets every row's check box to whether it is picked, so that the
// dispatcher walks exactly those. An error for --rows beyond the list.
platform::Result<Selection> pickRows(serverlist::ServerListModel& lista,
                                     const std::optional<RowRanges>& rows,
                                     const std::optional<std::vector<QString>>& failedTexts);

} // namespace velmora::cli
