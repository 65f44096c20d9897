#include "CacheTable.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace parvelle {

namespace {

std::array<QVariant, ccColumnCount> SortKeys(const CacheRow& row)
{
    const CacheRecord& r = row.Record;
    auto field = [&r](CacheRecord::Field f, auto value) { return r.has(f) ? QVariant::fromValue(value) : QVariant(); };
    std::array<QVariant, ccColumnCount> keys;
    for (int column = 0; column < ccColumnCount; ++column)
        keys[size_t(column)] = row.Columns.value(column).toCaseFolded();
    keys[ccFrequency] = field(CacheRecord::fFrequency, qint64(r.Frequency));
    keys[ccLastUsed] = field(CacheRecord::fLastUsed, quint64(r.LastUsed));
    keys[ccInstallSize] = field(CacheRecord::fInstallSize, qint64(r.InstallSize));
    keys[ccDataSize] = field(CacheRecord::fRecordSize, qint64(r.RecordSize));
    bool number = false;
    const qint64 changed = row.Changed.value_or(QString()).toLongLong(&number);
    if (number)
        keys[ccChanged] = changed;
    return keys;
}

} // namespace

CacheTableItem::CacheTableItem(QTreeWidget* table, const CacheRow& row, int index)
    : QTreeWidgetItem(table, row.Columns)
    , keys_(SortKeys(row))
    , index_(index)
{
}

bool CacheTableItem::operator<(const QTreeWidgetItem& other) const
{
    const auto* that = dynamic_cast<const CacheTableItem*>(&other);
    if (!that)
        return QTreeWidgetItem::operator<(other);
    const int column = treeWidget()->sortColumn();
    if (column >= 0 && column < ccColumnCount) {
        const QVariant& a = keys_[size_t(column)];
        const QVariant& b = that->keys_[size_t(column)];
        // Missing values first; numbers before texts in a column holding both.
        if (a.isValid() != b.isValid())
            return !a.isValid();
        const bool aText = a.typeId() == QMetaType::QString;
        if (aText != (b.typeId() == QMetaType::QString))
            return !aText;
        const QPartialOrdering order = QVariant::compare(a, b);
        if (order != QPartialOrdering::Equivalent)
            return order == QPartialOrdering::Less;
    }
    return index_ < that->index_;   // equal keys keep the registry's order
}

void EnableHeaderSorting(QTreeWidget* table)
{
    QHeaderView* header = table->header();
    header->setSectionsClickable(true);
    // The header flips its indicator on a click: ascending on a new column, reversed on the same.
    for (int column = 0; column < table->columnCount(); ++column)
        table->headerItem()->setData(column, Qt::InitialSortOrderRole, int(Qt::AscendingOrder));
    QObject::connect(header, &QHeaderView::sectionClicked, table, [table, header] {
        header->setSortIndicatorShown(true);
        table->sortItems(header->sortIndicatorSection(), header->sortIndicatorOrder());
    });
}

void FillCacheTable(QTreeWidget* table, const CacheListing& listing)
{
    table->clear();
    table->header()->setSortIndicator(-1, Qt::AscendingOrder);
    table->header()->setSortIndicatorShown(false);
    int index = 0;
    for (const CacheRow& row : listing.Rows)
        new CacheTableItem(table, row, index++);
}

} // namespace parvelle
