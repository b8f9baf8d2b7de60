#include "serverlist/markingcommands.h"

#include "serverlist/serverlistmodel.h"

namespace velmora::serverlist {

void checkAll(ServerListModel& model) {
    for (int i = 0; i < model.count(); ++i)
        model.setChecked(i, true);
}

void uncheckAll(ServerListModel& model) {
    for (int i = 0; i < model.count(); ++i)
        model.setChecked(i, false);
}

void checkExactlyMarked(ServerListModel& model, int mark) {
    for (int i = 0; i < model.count(); ++i)
        model.setChecked(i, model.mark(i) == mark);
}

void paintChecked(ServerListModel& model, int mark, const QString& percent, const QString& info) {
    for (int i = 0; i < model.count(); ++i) {
        if (!model.checked(i))
            continue;
        model.setMark(i, mark);
        model.setSubItem(i, 0, percent);
        model.setSubItem(i, 1, info);
    }
}

void clearInfoOfChecked(ServerListModel& model) {
    for (int i = 0; i < model.count(); ++i) {
        if (!model.checked(i))
            continue;
        model.setSubItem(i, 0, QStringLiteral("?"));
        model.setSubItem(i, 1, QString());
    }
}

} // namespace velmora::serverlist
