#include "serverlist/serverlistmodel.h"

#include "serverlist/marks.h"
#include "serverlist/systemtext.h"

namespace velmora::serverlist {

ServerListModel::ServerListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ServerListModel::setChecked(int index, bool checked) {
    ServerRow& r = rows_.at(static_cast<std::size_t>(index));
    if (r.checked == checked)
        return;
    r.checked = checked;
    rowChanged(index, CaptionColumn, CaptionColumn, {Qt::CheckStateRole});
}

void ServerListModel::setMark(int index, int mark) {
    ServerRow& r = rows_.at(static_cast<std::size_t>(index));
    if (r.mark == mark)
        return;
    r.mark = mark;
    rowChanged(index, CaptionColumn, CaptionColumn, {Qt::DecorationRole, MarkRole});
}

void ServerListModel::setSubItem(int index, int subItem, const QString& text) {
    ServerRow& r = rows_.at(static_cast<std::size_t>(index));
    while (r.subItems.size() <= subItem)
        r.subItems.append(QString());
    r.subItems[subItem] = text;
    rowChanged(index, PercentColumn + subItem, PercentColumn + subItem, {Qt::DisplayRole});
}

QString ServerListModel::subItem(int index, int subItem) const {
    const ServerRow& r = row(index);
    return subItem < r.subItems.size() ? r.subItems.at(subItem) : QString();
}

void ServerListModel::addRow(std::string caption, QStringList subItems) {
    const int at = count();
    beginInsertRows({}, at, at);
    rows_.push_back(ServerRow{std::move(caption), true, MarkUnknown, std::move(subItems)});
    endInsertRows();
}

void ServerListModel::removeAll() {
    beginResetModel();
    rows_.clear();
    ++generation_;
    endResetModel();
}

int ServerListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int ServerListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ServerListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !isValidRow(index.row()))
        return {};
    const ServerRow& r = row(index.row());
    if (index.column() == CaptionColumn) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return displayText(r.caption);
        case Qt::CheckStateRole:
            return r.checked ? Qt::Checked : Qt::Unchecked;
        case MarkRole:
            return r.mark;
        default:
            return {};
        }
    }
    if (role == Qt::DisplayRole) {
        const int sub = index.column() - PercentColumn;
        return sub < r.subItems.size() ? r.subItems.at(sub) : QString();
    }
    if (role == Qt::TextAlignmentRole && index.column() == PercentColumn)
        return int(Qt::AlignCenter);
    return {};
}

bool ServerListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    // The user toggles the check box; nothing else is editable.
    if (!index.isValid() || index.column() != CaptionColumn || role != Qt::CheckStateRole ||
        !isValidRow(index.row()))
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ServerListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == CaptionColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ServerListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return int(section == PercentColumn ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case CaptionColumn:
        return QStringLiteral("Lista servera");
    case PercentColumn:
        return QStringLiteral("%");
    case InfoColumn:
        return QStringLiteral("Informacije");
    case PlaceColumn:
        return QStringLiteral("Mesto");
    default:
        return {};
    }
}

QString ServerListModel::displayText(const std::string& caption) {
    return decodeListText(caption);
}

void ServerListModel::rowChanged(int index, int firstColumn, int lastColumn,
                                 const QList<int>& roles) {
    emit dataChanged(this->index(index, firstColumn), this->index(index, lastColumn), roles);
}

} // namespace velmora::serverlist
