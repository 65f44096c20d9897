#include "CacheTable.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <algorithm>
#include <numeric>
#include <optional>
#include <vector>

namespace parvelle {

namespace {

// A signed value mapped onto the unsigned ones in the same order.
uint64_t Ordered(int64_t value)
{
    return uint64_t(value) ^ (uint64_t(1) << 63);
}

// The rows of one filling in the registry's order, and the order of each column sorted by
// so far (a row's rank by index).
class CacheTableRows : public QObject {
    Q_OBJECT

public:
    explicit CacheTableRows(QTreeWidget* table)
        : QObject(table)
    {
    }

    void reset(std::vector<CacheTableItem*> rows)
    {
        rows_ = std::move(rows);
        for (auto& ranks : ranks_)
            ranks.reset();
        sorted_ = false;
    }

    // Forgets a row about to be deleted; the ranks of the others keep their order.
    void remove(const QTreeWidgetItem* row)
    {
        std::erase(rows_, row);
    }

    // Gives each row its rank by `column`, ascending.
    void rankBy(int column)
    {
        std::optional<std::vector<int>>& ranks = ranks_[size_t(column)];
        if (!ranks)
            ranks = ranksBy(column);
        for (CacheTableItem* row : rows_)
            row->setSortRank((*ranks)[size_t(row->index())]);
        sorted_ = true;
    }

    // Puts the rows back in the registry's order when a sort moved them.
    void unsort(QTreeWidget* table)
    {
        if (!sorted_)
            return;
        for (CacheTableItem* row : rows_)
            row->setSortRank(row->index());
        table->sortItems(0, Qt::AscendingOrder);
        sorted_ = false;
    }

    static CacheTableRows* of(QTreeWidget* table)
    {
        auto* rows = table->findChild<CacheTableRows*>(QString(), Qt::FindDirectChildrenOnly);
        return rows ? rows : new CacheTableRows(table);
    }

private:
    // The rank of each row by `column`, by the row's index (a removed row's is left 0).
    std::vector<int> ranksBy(int column) const
    {
        std::vector<CacheTableItem::SortKey> keys;
        keys.reserve(rows_.size());
        for (const CacheTableItem* row : rows_)
            keys.push_back(row->sortKey(column));
        std::vector<int> order(rows_.size());
        std::iota(order.begin(), order.end(), 0);
        // Equal keys keep the registry's order, which is that of rows_.
        std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) { return keys[size_t(a)] < keys[size_t(b)]; });
        std::vector<int> ranks(rows_.empty() ? 0 : size_t(rows_.back()->index()) + 1);
        for (size_t place = 0; place < order.size(); ++place)
            ranks[size_t(rows_[size_t(order[place])]->index())] = int(place);
        return ranks;
    }

    std::vector<CacheTableItem*> rows_;
    std::array<std::optional<std::vector<int>>, ccColumnCount> ranks_;
    bool sorted_ = false;
};

// The text case-folded; ASCII, as most texts of the table are, is folded here, many times
// faster than by QString::toCaseFolded(), and shared when it has no capital letter.
QString CaseFolded(const QString& text)
{
    bool capitals = false;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return text.toCaseFolded();
        capitals = capitals || (c >= u'A' && c <= u'Z');
    }
    if (!capitals)
        return text;
    QString folded(text.size(), Qt::Uninitialized);
    std::transform(text.begin(), text.end(), folded.begin(), [](QChar c) {
        return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + (u'a' - u'A')) : c;
    });
    return folded;
}

void HideSortIndicator(QTreeWidget* table)
{
    table->header()->setSortIndicator(-1, Qt::AscendingOrder);
    table->header()->setSortIndicatorShown(false);
}

} // namespace

CacheTableItem::CacheTableItem(const CacheRow& row, int index)
    : QTreeWidgetItem(ItemType)
    , columns_(row.columns)
    , index_(index)
{
    const CacheRecord& r = row.record;
    const auto setNumber = [this](int column, uint64_t value) {
        numbers_[size_t(column)] = value;
        numberColumns_ |= 1u << column;
    };
    if (r.has(CacheRecord::fFrequency))
        setNumber(ccFrequency, Ordered(r.Frequency));
    if (r.has(CacheRecord::fLastUsed))
        setNumber(ccLastUsed, r.LastUsed);
    if (r.has(CacheRecord::fInstallSize))
        setNumber(ccInstallSize, Ordered(r.InstallSize));
    if (r.has(CacheRecord::fRecordSize))
        setNumber(ccDataSize, Ordered(r.RecordSize));
    bool number = false;
    const qint64 changed = row.Changed ? row.Changed->toLongLong(&number) : 0;
    if (number)
        setNumber(ccChanged, Ordered(changed));
}

QVariant CacheTableItem::data(int column, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || column < 0 || column >= columns_.size())
        return QTreeWidgetItem::data(column, role);
    if (column == ccLastUsed && columns_.at(column).isEmpty() && (numberColumns_ & (1u << ccLastUsed))) {
        static const LastUsedFormatter dates;   // a listing made luWhenShown
        return dates.text(numbers_[ccLastUsed]);
    }
    return columns_.at(column);
}

bool CacheTableItem::operator<(const QTreeWidgetItem& other) const
{
    if (other.type() != ItemType)
        return QTreeWidgetItem::operator<(other);
    return sortRank_ < static_cast<const CacheTableItem&>(other).sortRank_;
}

CacheTableItem::SortKey CacheTableItem::sortKey(int column) const
{
    if (numberColumns_ & (1u << column))
        return {SortKey::Number, numbers_[size_t(column)], {}};
    switch (column) {
    case ccFrequency:
    case ccLastUsed:
    case ccInstallSize:
    case ccDataSize:
        return {SortKey::Missing, 0, {}};
    default:
        return {SortKey::Text, 0, CaseFolded(columns_.value(column))};
    }
}

bool CacheTableItem::SortKey::operator<(const SortKey& other) const
{
    if (kind != other.kind)
        return kind < other.kind;
    return kind == Number ? number < other.number : text < other.text;
}

void EnableHeaderSorting(QTreeWidget* table)
{
    QHeaderView* header = table->header();
    header->setSectionsClickable(true);
    // The header flips its indicator on a click: ascending on a new column, reversed on the same.
    for (int column = 0; column < table->columnCount(); ++column)
        table->headerItem()->setData(column, Qt::InitialSortOrderRole, int(Qt::AscendingOrder));
    CacheTableRows* rows = CacheTableRows::of(table);
    QObject::connect(header, &QHeaderView::sectionClicked, table, [table, header, rows] {
        const int column = header->sortIndicatorSection();
        if (column < 0 || column >= ccColumnCount)
            return;
        header->setSortIndicatorShown(true);
        // Room for the arrow beside the caption, which the column was sized to.
        table->setColumnWidth(column, std::max(table->columnWidth(column), header->sectionSizeHint(column)));
        rows->rankBy(column);
        table->sortItems(column, header->sortIndicatorOrder());
    });
}

void FillCacheTable(QTreeWidget* table, const CacheListing& listing)
{
    std::vector<CacheTableItem*> rows;
    rows.reserve(listing.rows.size());
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(listing.rows.size()));
    for (const CacheRow& row : listing.rows) {
        rows.push_back(new CacheTableItem(row, int(rows.size())));
        items.append(rows.back());
    }
    table->clear();
    HideSortIndicator(table);
    table->addTopLevelItems(items);
    CacheTableRows::of(table)->reset(std::move(rows));
}

void ShowCacheTableAsFilled(QTreeWidget* table)
{
    CacheTableRows::of(table)->unsort(table);
    HideSortIndicator(table);
    table->setCurrentItem(nullptr);
    table->clearSelection();
    table->scrollToTop();
}

void RemoveCacheTableRow(QTreeWidget* table, QTreeWidgetItem* row)
{
    CacheTableRows::of(table)->remove(row);
    delete row;
}

} // namespace parvelle

#include "CacheTable.moc"
