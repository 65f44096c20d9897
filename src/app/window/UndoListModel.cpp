#include "UndoListModel.h"

namespace parvelle {

void UndoListModel::SetEntries(QStringList entries, QSize itemSize)
{
    beginResetModel();
    entries_ = std::move(entries);
    checked_.assign(size_t(entries_.size()), true);
    itemSize_ = itemSize;
    endResetModel();
}

void UndoListModel::Clear()
{
    SetEntries({}, {});
}

void UndoListModel::SetAllChecked(bool checked)
{
    if (entries_.isEmpty())
        return;
    checked_.assign(checked_.size(), checked);
    Q_EMIT dataChanged(index(0), index(int(entries_.size()) - 1), {Qt::CheckStateRole});
}

QStringList UndoListModel::CheckedEntries() const
{
    QStringList checked;
    for (qsizetype row = 0; row < entries_.size(); ++row) {
        if (checked_[size_t(row)])
            checked.append(entries_[row]);
    }
    return checked;
}

int UndoListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(entries_.size());
}

QVariant UndoListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= entries_.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return entries_[index.row()];
    case Qt::CheckStateRole:
        return checked_[size_t(index.row())] ? Qt::Checked : Qt::Unchecked;
    case Qt::SizeHintRole:
        return itemSize_.isValid() ? QVariant(itemSize_) : QVariant();
    default:
        return {};
    }
}

bool UndoListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= entries_.size())
        return false;
    checked_[size_t(index.row())] = value.toInt() == Qt::Checked;
    Q_EMIT dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags UndoListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable : Qt::NoItemFlags;
}

} // namespace parvelle
