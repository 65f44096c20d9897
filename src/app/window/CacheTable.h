#pragma once
// The cache table's rows and sorting: a header click sorts by that column (numbers, sizes
// and dates by value, the rest by text), a second click reverses; refilling the table puts
// back the registry's order.
#include "cache/CacheListing.h"

#include <QTreeWidgetItem>
#include <QVariant>
#include <array>

class QTreeWidget;

namespace parvelle {

class CacheTableItem : public QTreeWidgetItem {
public:
    // Appended to the table; Index is the row's place in the registry's order.
    CacheTableItem(QTreeWidget* table, const CacheRow& row, int index);
    bool operator<(const QTreeWidgetItem& other) const override;

private:
    std::array<QVariant, ccColumnCount> keys_;   // invalid where the record lacks the field
    int index_;
};

// Header clicks of the table sort it.
void EnableHeaderSorting(QTreeWidget* table);

// Fills the table in the listing's (registry) order, without a sort indicator.
void FillCacheTable(QTreeWidget* table, const CacheListing& listing);

} // namespace parvelle
