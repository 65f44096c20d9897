#pragma once
// The cache table's rows and sorting: a header click sorts by that column (numbers, sizes
// and dates by value, the rest by text), a second click reverses; refilling the table puts
// back the registry's order. Built for caches of 100,000 entries: a row shares the
// listing's texts instead of copying them and writes Last Used only when it is shown (from
// a listing made luWhenShown), and a column's order is worked out once per filling, so
// that a sort only ranks the rows.
#include "cache/CacheListing.h"

#include <QTreeWidgetItem>
#include <array>
#include <cstdint>

class QTreeWidget;

namespace parvelle {

// The numbers a row sorts by, by column.
struct CacheRowNumbers {
    std::array<uint64_t, ccColumnCount> values{};   // in the order of the values, where columns has the bit
    uint32_t columns = 0;
    bool operator==(const CacheRowNumbers&) const = default;
};

class CacheTableItem : public QTreeWidgetItem {
public:
    static constexpr int kItemType = QTreeWidgetItem::UserType + 1;

    // Index is the row's place in the registry's order.
    CacheTableItem(const CacheRow& row, int index);
    // The row's texts; setText() is not used on these rows.
    QVariant data(int column, int role) const override;
    bool operator<(const QTreeWidgetItem& other) const override;

    // How the row sorts by one column.
    struct SortValue {
        enum Kind : uint8_t { Missing, Number, Text } kind;   // missing values first, numbers before texts
        uint64_t number = 0;                                  // in the order of the values
        QStringView text;                                     // as shown, the row's own
    };
    SortValue sortValue(int column) const;
    int index() const { return index_; }
    // Whether the row shows what a row made of `row` would.
    bool shows(const CacheRow& row) const;
    void setSortRank(int rank) { sortRank_ = rank; }

private:
    QStringList columns_;
    CacheRowNumbers numbers_;
    int index_;
    int sortRank_ = 0;   // the row's place in the order of the column sorted by
};

// Header clicks of the table sort it.
void EnableHeaderSorting(QTreeWidget* table);

// Fills the table in the listing's (registry) order, without a sort indicator. When the
// table's rows already show the listing's, row for row, they are kept and shown as
// ShowCacheTableAsFilled() leaves them.
void FillCacheTable(QTreeWidget* table, const CacheListing& listing);
// Shows the rows as FillCacheTable left them: in the registry's order, without a sort
// indicator, a current row or a selection, scrolled to the top.
void ShowCacheTableAsFilled(QTreeWidget* table);
// Takes out (and deletes) the row of an entry removed from the registry.
void RemoveCacheTableRow(QTreeWidget* table, QTreeWidgetItem* row);

} // namespace parvelle
