#include "cli/selection.h"

#include <set>

namespace velmora::cli {

platform::Result<Selection> pickRows(serverlist::ServerListModel& lista,
                                     const std::optional<RowRanges>& rows,
                                     const std::optional<std::vector<QString>>& failedTexts) {
    if (rows && highestRow(*rows) > lista.count())
        return platform::Error{0, "--rows names row " + std::to_string(highestRow(*rows)) +
                                      ", but the list has " + std::to_string(lista.count()) +
                                      " rows"};
    std::set<QString> failed;
    if (failedTexts)
        failed.insert(failedTexts->begin(), failedTexts->end());
    std::set<QString> found;
    Selection selection;
    for (int row = 0; row < lista.count(); ++row) {
        const QString text = serverlist::ServerListModel::displayText(lista.caption(row));
        bool picked = !rows || containsRow(*rows, row + 1);
        if (failedTexts) {
            const bool failedBefore = failed.count(text) > 0;
            if (failedBefore)
                found.insert(text);
            picked = picked && failedBefore;
        }
        lista.setChecked(row, picked);
        if (picked)
            selection.rows.push_back(row);
    }
    for (const QString& text : failed)
        if (found.count(text) == 0)
            selection.missing.push_back(text);
    return selection;
}

} // namespace velmora::cli
