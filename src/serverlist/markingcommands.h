#pragma once

#include <QString>

namespace velmora::serverlist {

class ServerListModel;

// Select commands: rewrite every row's check box.
void checkAll(ServerListModel& model);
void uncheckAll(ServerListModel& model);
// Checks every row whose mark is `mark` and unchecks every other row.
void checkExactlyMarked(ServerListModel& model, int mark);

// Paint commands: every checked row gets the mark and the "%" and
// "Informacije" texts; unchecked rows and check boxes stay as they are.
void paintChecked(ServerListModel& model, int mark, const QString& percent, const QString& info);
// Checked rows keep their mark; "%" becomes "?" and "Informacije" empty.
void clearInfoOfChecked(ServerListModel& model);

} // namespace velmora::serverlist
