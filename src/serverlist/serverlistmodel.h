#pragma once

#include "serverlist/serverrow.h"

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

namespace velmora::serverlist {

// The rows of the server list (Lista), addressed by position from 0. Lives on
// the main thread; batch threads reach it only through main-thread calls. The
// view shows it; everything else reads and writes rows through it.
class ServerListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { CaptionColumn = 0, PercentColumn, InfoColumn, PlaceColumn, ColumnCount };
    // The row's status mark, for the view's picture.
    static constexpr int MarkRole = Qt::UserRole + 1;

    explicit ServerListModel(QObject* parent = nullptr);

    int count() const { return static_cast<int>(rows_.size()); }
    const ServerRow& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    bool isValidRow(int index) const { return index >= 0 && index < count(); }

    const std::string& caption(int index) const { return row(index).caption; }
    bool checked(int index) const { return row(index).checked; }
    void setChecked(int index, bool checked);
    int mark(int index) const { return row(index).mark; }
    void setMark(int index, int mark);
    // Sub-item 0 is the "%" column, 1 the "Informacije" column.
    void setSubItem(int index, int subItem, const QString& text);
    QString subItem(int index, int subItem) const;

    // Loads only: a row at the end with mark MarkUnknown, checked, and the given
    // sub-items; and the removal of every row.
    void addRow(std::string caption, QStringList subItems);
    void removeAll();

    // Counts the loads: every removeAll() begins a new generation, so that work
    // started on earlier rows can tell that its row is no longer the same row.
    std::uint64_t generation() const { return generation_; }

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The caption as shown: decoded from the list's character set.
    static QString displayText(const std::string& caption);

private:
    void rowChanged(int index, int firstColumn, int lastColumn, const QList<int>& roles);

    std::vector<ServerRow> rows_;
    std::uint64_t generation_ = 0;
};

} // namespace velmora::serverlist
