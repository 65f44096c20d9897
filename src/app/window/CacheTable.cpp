#include "CacheTable.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <algorithm>
#include <string>
#include <optional>
#include <vector>

namespace parvelle {

namespace {

// A signed value mapped onto the unsigned ones in the same order.
uint64_t Ordered(int64_t value)
{
    return uint64_t(value) ^ (uint64_t(1) << 63);
}

// The text as a decimal number, as QString::toLongLong reads it; the plain digits that
// Changed mostly holds are read here, many times faster.
std::optional<qint64> DecimalNumber(const QString& text)
{
    constexpr qsizetype kSafeDigits = 18;   // never past a qint64
    const qsizetype start = !text.isEmpty() && text.front() == u'-' ? 1 : 0;
    const qsizetype digits = text.size() - start;
    const bool plain = digits > 0 && digits <= kSafeDigits
                       && std::all_of(text.begin() + start, text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (plain) {
        qint64 value = 0;
        for (qsizetype i = start; i < text.size(); ++i)
            value = value * 10 + (text.at(i).unicode() - u'0');
        return start ? -value : value;
    }
    bool number = false;
    const qint64 value = text.toLongLong(&number);
    return number ? std::optional(value) : std::nullopt;
}

// Appends the text case-folded; ASCII, as most texts of the table are, is folded here,
// many times faster than by QString::toCaseFolded().
void AppendCaseFolded(QStringView text, std::u16string& out)
{
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (!ascii) {
        const QString folded = text.toString().toCaseFolded();
        out.append(reinterpret_cast<const char16_t*>(folded.constData()), size_t(folded.size()));
        return;
    }
    const size_t start = out.size();
    out.resize(start + size_t(text.size()));
    std::transform(text.begin(), text.end(), out.begin() + ptrdiff_t(start), [](QChar c) {
        return c >= u'A' && c <= u'Z' ? char16_t(c.unicode() + (u'a' - u'A')) : c.unicode();
    });
}

// The order of the rows by one column: missing values, numbers by value, then texts
// case-folded; equal values keep the rows' order.
class ColumnOrder {
public:
    ColumnOrder(const std::vector<CacheTableItem*>& rows, int column)
    {
        entries_.reserve(rows.size());
        for (size_t place = 0; place < rows.size(); ++place) {
            const CacheTableItem::SortValue value = rows[place]->sortValue(column);
            Entry entry{value.kind, value.number, uint32_t(folded_.size()), 0, uint32_t(place)};
            if (value.kind == CacheTableItem::SortValue::Text) {
                AppendCaseFolded(value.text, folded_);
                entry.textSize = uint32_t(folded_.size() - entry.textStart);
            }
            entries_.push_back(entry);
        }
        // Stable: equal values keep the rows' order. A merge sort also gains most from runs
        // already in order, as the registry's order of names often gives.
        std::stable_sort(entries_.begin(), entries_.end(), [this](const Entry& a, const Entry& b) { return less(a, b); });
    }

    // The places of the rows, in the column's order.
    template <typename Visit>
    void forEachPlace(Visit visit) const
    {
        for (const Entry& entry : entries_)
            visit(size_t(entry.place));
    }

private:
    struct Entry {
        CacheTableItem::SortValue::Kind kind;
        uint64_t number;
        uint32_t textStart;   // in folded_
        uint32_t textSize;
        uint32_t place;       // the row's place among the rows
    };

    QStringView text(const Entry& entry) const
    {
        return QStringView(folded_.data() + entry.textStart, qsizetype(entry.textSize));
    }

    bool less(const Entry& a, const Entry& b) const
    {
        if (a.kind != b.kind)
            return a.kind < b.kind;
        if (a.kind == CacheTableItem::SortValue::Number)
            return a.number < b.number;
        return a.kind == CacheTableItem::SortValue::Text && text(a).compare(text(b)) < 0;
    }

    std::u16string folded_;
    std::vector<Entry> entries_;
};

// Puts the rows in the order of their ranks. The rows have no children, so the sort does
// not go below them, as QTreeWidget::sortItems() would, row by row.
void SortRows(QTreeWidget* table, Qt::SortOrder order)
{
    table->invisibleRootItem()->sortChildren(0, order);
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

    // Whether the rows show those, row for row.
    bool show(const std::vector<CacheRow>& rows) const
    {
        return std::equal(rows_.begin(), rows_.end(), rows.begin(), rows.end(),
                          [](const CacheTableItem* shown, const CacheRow& row) { return shown->shows(row); });
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
        SortRows(table, Qt::AscendingOrder);
        sorted_ = false;
    }

    static CacheTableRows* of(QTreeWidget* table)
    {
        auto* rows = table->findChild<CacheTableRows*>(QString(), Qt::FindDirectChildrenOnly);
        return rows ? rows : new CacheTableRows(table);
    }

private:
    // The rank of each row by `column`, by the row's index (a removed row's is left 0).
    // Equal values keep the registry's order, which is that of rows_.
    std::vector<int> ranksBy(int column) const
    {
        std::vector<int> ranks(rows_.empty() ? 0 : size_t(rows_.back()->index()) + 1);
        int rank = 0;
        ColumnOrder(rows_, column).forEachPlace([&](size_t place) { ranks[size_t(rows_[place]->index())] = rank++; });
        return ranks;
    }

    std::vector<CacheTableItem*> rows_;
    std::array<std::optional<std::vector<int>>, ccColumnCount> ranks_;
    bool sorted_ = false;
};

void HideSortIndicator(QTreeWidget* table)
{
    table->header()->setSortIndicator(-1, Qt::AscendingOrder);
    table->header()->setSortIndicatorShown(false);
}

// The numbers of a row as a table row sorts by them.
CacheRowNumbers NumbersOf(const CacheRow& row)
{
    CacheRowNumbers numbers;
    const auto setNumber = [&numbers](int column, uint64_t value) {
        numbers.values[size_t(column)] = value;
        numbers.columns |= 1u << column;
    };
    const CacheRecord& r = row.record;
    if (r.has(CacheRecord::fFrequency))
        setNumber(ccFrequency, Ordered(r.Frequency));
    if (r.has(CacheRecord::fLastUsed))
        setNumber(ccLastUsed, r.LastUsed);
    if (r.has(CacheRecord::fInstallSize))
        setNumber(ccInstallSize, Ordered(r.InstallSize));
    if (r.has(CacheRecord::fRecordSize))
        setNumber(ccDataSize, Ordered(r.RecordSize));
    if (const std::optional<qint64> changed = row.Changed ? DecimalNumber(*row.Changed) : std::nullopt)
        setNumber(ccChanged, Ordered(*changed));
    return numbers;
}

} // namespace

CacheTableItem::CacheTableItem(const CacheRow& row, int index)
    : QTreeWidgetItem(kItemType)
    , columns_(row.columns)
    , numbers_(NumbersOf(row))
    , index_(index)
{
}

bool CacheTableItem::shows(const CacheRow& row) const
{
    // Texts shared with the row come from the row the item was made of, or from a copy of
    // it, which holds the same record: its numbers are the item's.
    if (columns_.constData() == row.columns.constData() && columns_.size() == row.columns.size())
        return true;
    return columns_ == row.columns && numbers_ == NumbersOf(row);
}

QVariant CacheTableItem::data(int column, int role) const
{
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || column < 0 || column >= columns_.size())
        return QTreeWidgetItem::data(column, role);
    if (column == ccLastUsed && columns_.at(column).isEmpty() && (numbers_.columns & (1u << ccLastUsed))) {
        static const LastUsedFormatter dates;   // a listing made luWhenShown
        return dates.text(numbers_.values[ccLastUsed]);
    }
    return columns_.at(column);
}

bool CacheTableItem::operator<(const QTreeWidgetItem& other) const
{
    if (other.type() != kItemType)
        return QTreeWidgetItem::operator<(other);
    return sortRank_ < static_cast<const CacheTableItem&>(other).sortRank_;
}

CacheTableItem::SortValue CacheTableItem::sortValue(int column) const
{
    if (numbers_.columns & (1u << column))
        return {SortValue::Number, numbers_.values[size_t(column)], {}};
    switch (column) {
    case ccFrequency:
    case ccLastUsed:
    case ccInstallSize:
    case ccDataSize:
        return {SortValue::Missing, 0, {}};
    default:
        return {SortValue::Text, 0, column < columns_.size() ? QStringView(columns_.at(column)) : QStringView()};
    }
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
        SortRows(table, header->sortIndicatorOrder());
    });
}

void FillCacheTable(QTreeWidget* table, const CacheListing& listing)
{
    if (CacheTableRows::of(table)->show(listing.rows)) {
        ShowCacheTableAsFilled(table);
        return;
    }
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
