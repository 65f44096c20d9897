#pragma once
// The entries of an undo file, each with a check mark, for a list view. One model reset
// shows a whole file, however many entries it holds.
#include <QAbstractListModel>
#include <QSize>
#include <QStringList>
#include <vector>

namespace parvelle {

class UndoListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    // Shows the entries, all checked; every row is `itemSize` (wide enough for the
    // widest entry, so that the view scrolls to its end).
    void SetEntries(QStringList entries, QSize itemSize);
    void Clear();
    void SetAllChecked(bool checked);
    const QStringList& Entries() const { return entries_; }
    QStringList CheckedEntries() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QStringList entries_;
    std::vector<bool> checked_;
    QSize itemSize_;
};

} // namespace parvelle
