#include "CacheListing.h"

#include "OSInfo.h"
#include "core/StartAside.h"
#include "registry/TNTRegistry.h"

#include <QtEndian>
#include <algorithm>
#include <future>
#include <mutex>
#include <numeric>
#include <thread>
#include <string>
#include <charconv>
#include <chrono>
#include <string_view>
#include <unordered_set>

namespace parvelle {

namespace {

const QString kSlowInfoCache = QStringLiteral("SlowInfoCache");
const QString kChanged = QStringLiteral("Changed");

constexpr uint64_t kFileTimeTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsPerDay = 86'400;

// The FILETIME epoch and the last day a FILETIME is shown for.
constexpr std::chrono::sys_days kFileTimeEpoch{std::chrono::year(1601) / 1 / 1};
constexpr int64_t kLastShownDay =
    (std::chrono::sys_days{std::chrono::year(9999) / 12 / 31} - kFileTimeEpoch).count();

// A FILETIME split into whole days since its epoch and milliseconds into that day;
// nullopt for 0 and for times past the year 9999.
struct FileTimeParts {
    int64_t day;
    int msecs;
};

std::optional<FileTimeParts> splitFileTime(uint64_t fileTime)
{
    const uint64_t seconds = fileTime / kFileTimeTicksPerSecond;
    const int64_t day = static_cast<int64_t>(seconds / kSecondsPerDay);
    if (fileTime == 0 || day > kLastShownDay)
        return std::nullopt;
    return FileTimeParts{day, static_cast<int>((seconds % kSecondsPerDay) * 1000
                                               + (fileTime % kFileTimeTicksPerSecond) / 10'000)};
}

// Writes value as exactly `width` decimal digits; returns the end of them.
char16_t* putDigits(char16_t* out, unsigned value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char16_t(u'0' + value % 10);
    return out + width;
}

// An integer in plain decimal (QString::number goes through the locale machinery).
template <typename Integer>
QString decimalText(Integer value)
{
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return QString::fromLatin1(digits, end - digits);
}

QString withoutLeadingBackslash(const QString& path)
{
    return path.startsWith(QLatin1Char('\\')) ? path.mid(1) : path;
}

// Key names compared as the registry compares them.
using NameSet = std::unordered_set<QString, NameHasher, NameEqual>;

// The names of a key's subkeys, read once in their stored order and looked up in name
// order. A listing asks for names in the order of its own key, which, as Windows keeps
// keys, is name order too: each lookup then moves on from the last; a name asked out of
// order is searched for.
class SubkeysByName {
public:
    SubkeysByName(const RegistryStore& store, NodeId node)
    {
        NameBuffer buffer;
        const std::vector<NodeId> kids = store.children(node);
        for (size_t i = 0; i < kids.size(); ++i) {
            const NodeId kid = kids[i];
            if (i + kPrefetchAhead < kids.size())
                store.prefetch(kids[i + kPrefetchAhead]);
            try {
                const QStringView name = store.nameView(kid, buffer);
                spans_.push_back({uint32_t(units_.size()), uint32_t(name.size())});
                units_.append(name.utf16(), size_t(name.size()));
            } catch (const EHiveShortenedError&) {
                throw;
            } catch (const EParvelleError& error) {   // a damaged key: its name cannot be read
                if (damage_.isEmpty())
                    damage_ = error.message();
            }
        }
        order_.resize(spans_.size());
        std::iota(order_.begin(), order_.end(), 0);
        const auto less = [this](uint32_t a, uint32_t b) { return NameLess(nameAt(a), nameAt(b)); };
        if (!std::is_sorted(order_.begin(), order_.end(), less))
            std::stable_sort(order_.begin(), order_.end(), less);
    }

    // Where a reader's first lookup searches from the start.
    static constexpr size_t kNotStarted = SIZE_MAX;

    // `next` is the reader's own: the first name after the last one it found, or not before
    // the last one it did not find.
    bool contains(QStringView name, size_t& next) const
    {
        const auto compared = [this, name](size_t at) { return NameCompare(nameAt(order_[at]), name); };
        if (next != kNotStarted && next < order_.size() && compared(next) == 0) {   // mostly, when found
            ++next;
            return true;
        }
        if (next == kNotStarted || (next > 0 && compared(next - 1) >= 0)) {   // out of order: searched for
            next = std::partition_point(order_.begin(), order_.end(), [&](uint32_t at) { return NameLess(nameAt(at), name); })
                   - order_.begin();
        }
        for (; next < order_.size(); ++next) {
            if (const int order = compared(next); order >= 0) {
                if (order == 0)
                    ++next;   // past the name found
                return order == 0;
            }
        }
        return false;
    }

    // Why some subkey cannot be read (the first such one); empty when all can.
    const QString& damage() const { return damage_; }

private:
    struct Span {
        uint32_t start;
        uint32_t length;
    };
    QStringView nameAt(uint32_t at) const { return QStringView(units_.data() + spans_[at].start, spans_[at].length); }

    std::u16string units_;        // the names, one after another
    std::vector<Span> spans_;     // each name's place in units_, in stored order
    std::vector<uint32_t> order_;   // spans_ in name order
    QString damage_;
};

// The names of the Uninstall key's subkeys: read from its store, or collected once for a
// virtual key.
struct UninstallLookup {
    std::optional<SubkeysByName> stored;
    NameSet collected;
    QString damage;   // why some subkeys (or all) cannot be read: a name not found is unknown
};

UninstallLookup uninstallLookup(Machine& machine)
{
    try {
        const auto root = machine.rootKey(HKEY_LOCAL_MACHINE);
        const auto key = root ? machine.open(*root, withoutLeadingBackslash(kUninstallPath)) : std::nullopt;
        UninstallLookup lookup;
        if (key && key->store) {
            lookup.stored.emplace(*key->store, key->node);
            lookup.damage = lookup.stored->damage();
        } else if (key) {
            const QStringList list = machine.subkeyNames(*key);
            lookup.collected = NameSet(list.begin(), list.end());
        }
        return lookup;
    } catch (const EHiveShortenedError&) {
        throw;
    } catch (const EParvelleError& error) {   // the key, a key on its path, or its subkey list
        return {std::nullopt, {}, error.message()};
    }
}

// One reader's answers from the lookup: each thread has its own.
class UninstallAnswers {
public:
    explicit UninstallAnswers(const UninstallLookup& lookup) : lookup_(lookup) {}

    bool has(QStringView name)
    {
        return lookup_.stored ? lookup_.stored->contains(name, next_) : lookup_.collected.count(name) != 0;
    }
    const QString& damage() const { return lookup_.damage; }

private:
    const UninstallLookup& lookup_;
    size_t next_ = SubkeysByName::kNotStarted;
};

void setAddRemoveAnswer(CacheRow& row, UninstallAnswers& inUninstall)
{
    row.InAddRemove = inUninstall.has(row.KeyName);
    row.addRemoveUnknown = !row.InAddRemove && !inUninstall.damage().isEmpty();
}

// A user hive mounted without a SOFTWARE hive, which alone would tell the Windows version.
bool hasUserHiveAlone(const Machine& machine)
{
    const auto user = machine.rootKey(HKEY_CURRENT_USER);
    const auto local = machine.rootKey(HKEY_LOCAL_MACHINE);
    return user && user->store && !(local && machine.open(*local, QStringLiteral("SOFTWARE")));
}

// A value as read, in memory kept from one key to the next.
struct ValueRead {
    bool found = false;
    uint32_t type = REG_NONE;
    QByteArray data;

    void keep(uint32_t valueType, QByteArrayView bytes)
    {
        found = true;
        type = valueType;
        data.resize(bytes.size());
        std::copy(bytes.begin(), bytes.end(), data.begin());
    }
};

// The two values of a cache entry's key that make its row: the first of each name
// (letter case ignored), read without a string or a list of values for each entry.
class EntryValues {
public:
    EntryValues() = default;
    EntryValues(const EntryValues&) = delete;
    EntryValues& operator=(const EntryValues&) = delete;

    // Reads the entry's name into `buffer` and `name` (set when the key can be read) and
    // both values.
    void read(const RegistryStore& store, NodeId entry, NameBuffer& buffer, QStringView& name)
    {
        record.found = false;
        changed.found = false;
        store.visitKey(entry, buffer, name, visit_);
    }

    // The Changed value's text: a string value's; a DWORD's in signed decimal from its
    // first four bytes (a longer DWORD is read as far as a DWORD goes); none for anything
    // else. Valid until the next read.
    std::optional<QStringView> changedText()
    {
        if (!changed.found)
            return std::nullopt;
        switch (KindOfType(changed.type)) {
        case dkString:
            text_ = TextUpToZero(changed.data);
            return QStringView(text_);
        case dkDword: {
            if (changed.data.size() < 4)
                return std::nullopt;
            char chars[kMostDigits];
            const char* end = std::to_chars(chars, std::end(chars), qFromLittleEndian<int32_t>(changed.data.constData())).ptr;
            std::copy(static_cast<const char*>(chars), end, digits_);
            return QStringView(digits_, end - chars);
        }
        default:
            return std::nullopt;
        }
    }

    ValueRead record;    // SlowInfoCache
    ValueRead changed;   // Changed

private:
    static constexpr size_t kMostDigits = 11;   // "-2147483648"
    char16_t digits_[kMostDigits];
    QString text_;
    const ValueVisitor visit_ = [this](QStringView name, uint32_t type, QByteArrayView data) {
        if (!record.found && SameName(name, kSlowInfoCache))
            record.keep(type, data);
        else if (!changed.found && SameName(name, kChanged))
            changed.keep(type, data);
    };
};

// The Last Used text of a FILETIME in the listing's style.
using LastUsedText = std::function<QString(uint64_t)>;

LastUsedText lastUsedText(LastUsedStyle style)
{
    if (style == luIso)
        return FileTimeToIso;
    if (style == luWhenShown)
        return [](uint64_t) { return QString(); };
    return [formatter = LastUsedFormatter()](uint64_t fileTime) { return formatter.text(fileTime); };
}

QString addRemoveText(const CacheRow& row)
{
    return row.addRemoveUnknown ? kUnknownAnswer : InAddRemoveText(row.InAddRemove);
}

QStringList columnTexts(const CacheRow& row, const LastUsedText& lastUsed)
{
    const CacheRecord& r = row.record;
    auto field = [&r](CacheRecord::Field f, auto text) { return r.has(f) ? text() : QString(); };
    return {
        row.KeyName,
        addRemoveText(row),
        field(CacheRecord::fFilePath, [&] { return r.FilePath; }),
        field(CacheRecord::fFrequency, [&] { return FrequencyText(r.Frequency); }),
        field(CacheRecord::fLastUsed, [&] { return lastUsed(r.LastUsed); }),
        field(CacheRecord::fInstallSize, [&] { return decimalText(r.InstallSize); }),
        field(CacheRecord::fHasName, [&] { return HasNameText(r.HasName); }),
        field(CacheRecord::fRecordSize, [&] { return decimalText(r.RecordSize); }),
        row.Changed.value_or(QString()),
    };
}

// Asks the processor for the texts of a kept row that a listing compares.
void prefetchTexts(const CacheRow& row)
{
#if defined(__GNUC__)
    __builtin_prefetch(row.KeyName.constData());
    __builtin_prefetch(row.record.FilePath.constData());
    if (row.Changed)
        __builtin_prefetch(row.Changed->constData());
#else
    Q_UNUSED(row);
#endif
}

// What the readers of a listing's entries share; none of it changes while they read.
struct RowSource {
    const RegistryStore& store;
    const UninstallLookup& uninstall;
    LastUsedStyle lastUsedColumn;
    CacheRowReuse* reuse;
};

// Reads the rows of entries, with buffers and cursors of its own: one for each thread,
// made on the listing's own thread (its Last Used formatter asks for the system's locale).
class RowReader {
public:
    RowReader(const RowSource& source, CacheRowReuse::Range kept)
        : source_(source), inUninstall_(source.uninstall), lastUsed_(lastUsedText(source.lastUsedColumn)), kept_(kept)
    {
    }

    void prefetch(NodeId entry) const { source_.store.prefetch(entry); }
    // Takes kept rows from `kept` from now on.
    void keepFrom(CacheRowReuse::Range kept) { kept_ = kept; }

    // The row of one entry, with its damage, to be moved out: a kept one, or one made here;
    // nullptr when the entry has no SlowInfoCache.
    CacheRow* read(NodeId entry)
    {
        QStringView name;   // stays empty when the key itself is damaged
        try {
            values_.read(source_.store, entry, nameRead_, name);   // one read for the name and both values
            return rowOfValues(name);
        } catch (const EHiveShortenedError&) {
            throw;   // not one entry's damage: the whole listing is void
        } catch (const EParvelleError& error) {
            return rowWithoutRecord(name.toString(), error.message(), kDamagedEntry);
        }
    }

private:
    CacheRow* rowOfValues(QStringView name)
    {
        const ValueRead& record = values_.record;
        if (!record.found)
            return nullptr;
        const std::optional<QStringView> changed = values_.changedText();
        const auto changedString = [changed] { return changed ? std::optional(changed->toString()) : std::nullopt; };
        if (KindOfType(record.type) != dkBinary)
            return rowWithoutRecord(name.toString(), QStringLiteral("its SlowInfoCache value is of type %1, not binary").arg(ValueTypeName(record.type)),
                                    kRecordNotBinary, changedString());
        if (source_.reuse) {
            if (CacheRow* kept = source_.reuse->take(name, record.data, changed, kept_))
                return withAddRemoveAnswer(*kept);
        }
        made_ = CacheRow();
        made_.KeyName = name.toString();
        setAddRemoveAnswer(made_, inUninstall_);
        made_.record = DecodeCacheRecord(record.data);
        made_.Changed = changedString();
        made_.columns = columnTexts(made_, lastUsed_);
        return &made_;
    }

    // The row of an entry whose record is not shown: its name when that can be read, why,
    // and `mark` in place of the File Path.
    CacheRow* rowWithoutRecord(const QString& name, const QString& reason, const QString& mark,
                               std::optional<QString> changed = std::nullopt)
    {
        made_ = CacheRow();
        made_.KeyName = name;
        setAddRemoveAnswer(made_, inUninstall_);
        made_.damage = reason;
        made_.Changed = std::move(changed);
        made_.columns = columnTexts(made_, lastUsed_);
        if (name.isEmpty())
            made_.columns[ccKeyName] = kUnreadableName;
        made_.columns[ccFilePath] = mark;
        return &made_;
    }

    // A row kept from an earlier listing with its Add/Remove answer read again.
    CacheRow* withAddRemoveAnswer(CacheRow& row)
    {
        const QString before = addRemoveText(row);
        setAddRemoveAnswer(row, inUninstall_);
        if (QString answer = addRemoveText(row); answer != before)   // the texts stay shared otherwise
            row.columns[ccInAddRemove] = std::move(answer);
        return &row;
    }

    const RowSource& source_;
    NameBuffer nameRead_;
    EntryValues values_;
    UninstallAnswers inUninstall_;
    const LastUsedText lastUsed_;
    CacheRowReuse::Range kept_;
    CacheRow made_;   // the last row made here, until moved out
};

// Reads the entries [from, to) in order with `reader`, giving each row to `sink`.
template <typename Sink>
void readRows(RowReader& reader, const std::vector<NodeId>& entries, size_t from, size_t to, Sink&& sink)
{
    for (size_t i = from; i < to; ++i) {
        if (i + kPrefetchAhead < to)
            reader.prefetch(entries[i + kPrefetchAhead]);
        if (CacheRow* row = reader.read(entries[i]))
            sink(std::move(*row));   // outside the reader's try: the sink's own errors are not the entry's
    }
}

// Reads every entry in order on this thread.
template <typename Sink>
void readInOrder(const RowSource& source, const std::vector<NodeId>& entries, Sink&& sink)
{
    RowReader reader(source, {});
    readRows(reader, entries, 0, entries.size(), sink);
}

// So many entries are read on two threads, in blocks of kBlockEntries.
constexpr size_t kEntriesForTwoThreads = 4096;
constexpr size_t kBlockEntries = 2048;

// Where the rows kept for the entries from `place` on begin.
size_t keptRowsFrom(const RowSource& source, const std::vector<NodeId>& entries, size_t place)
{
    NameBuffer name;
    try {
        return source.reuse->splitAt(source.store.nameView(entries[place], name), place, entries.size());
    } catch (const EHiveShortenedError&) {
        throw;
    } catch (const EParvelleError&) {   // a damaged key, whose row is never kept
        return source.reuse->splitAt({}, place, entries.size());
    }
}

// The blocks of a listing's entries, taken by one thread from the front and by the other
// from the back until they meet: a thread slowed by other work on the machine takes fewer.
class Blocks {
public:
    enum class End { front, back };

    Blocks(const RowSource& source, const std::vector<NodeId>& entries)
        : entryCount_(entries.size()), back_((entries.size() + kBlockEntries - 1) / kBlockEntries), keptFrom_(back_ + 1, SIZE_MAX)
    {
        keptFrom_[0] = 0;
        for (size_t block = 1; source.reuse && block < back_; ++block)   // ascending, so that no two blocks share a row
            keptFrom_[block] = std::max(keptFrom_[block - 1], keptRowsFrom(source, entries, block * kBlockEntries));
    }

    struct Block {
        size_t from;
        size_t to;
        CacheRowReuse::Range kept;
    };
    std::optional<Block> take(End end)
    {
        const std::lock_guard lock(taking_);
        if (front_ == back_)
            return std::nullopt;
        const size_t block = end == End::front ? front_++ : --back_;
        const size_t from = block * kBlockEntries;
        const size_t kept = keptFrom_[block];
        return Block{from, std::min(from + kBlockEntries, entryCount_), {kept, keptFrom_[block + 1], kept, false}};
    }
    // No block is taken any more.
    void stop()
    {
        const std::lock_guard lock(taking_);
        back_ = front_;
    }

private:
    std::mutex taking_;
    size_t entryCount_;
    size_t front_ = 0;
    size_t back_;
    std::vector<size_t> keptFrom_;   // where the rows kept for each block begin
};

// Reads the blocks taken from `end` until none is left, calling `blockDone` after each;
// when one fails, the other thread takes no more.
template <typename Sink, typename BlockDone>
void readBlocks(Blocks& blocks, Blocks::End end, RowReader& reader, const std::vector<NodeId>& entries, Sink&& sink,
                BlockDone&& blockDone)
{
    try {
        while (const auto block = blocks.take(end)) {
            reader.keepFrom(block->kept);
            readRows(reader, entries, block->from, block->to, sink);
            blockDone();
        }
    } catch (...) {
        blocks.stop();
        throw;
    }
}

// Names an entry with a damage among the unreadable ones of the listing.
void noteDamage(CacheListing& listing, const CacheRow& row)
{
    if (!row.damage.isEmpty())
        listing.unreadable.append(row.columns[ccKeyName] + QStringLiteral(": ") + row.damage);
}

// The rows of the entries into the listing, in order; a long listing's on two threads.
void readAllRows(const RowSource& source, const std::vector<NodeId>& entries, CacheListing& listing)
{
    const auto storage = [&source](size_t rows) {
        std::vector<CacheRow> into = source.reuse ? source.reuse->takeStorage(rows) : std::vector<CacheRow>();
        into.reserve(rows);
        return into;
    };
    std::vector<CacheRow> rows = storage(entries.size());
    const auto keepRow = [&](CacheRow&& row) {
        noteDamage(listing, row);
        rows.push_back(std::move(row));
    };
    if (entries.size() < kEntriesForTwoThreads || std::thread::hardware_concurrency() < 2) {
        readInOrder(source, entries, keepRow);
        listing.rows = std::move(rows);
        return;
    }
    Blocks blocks(source, entries);
    // The back thread's rows, a block after the other from the last; made on this thread,
    // as all the rows' storage.
    std::vector<CacheRow> fromBack = storage(entries.size() / 2);
    std::vector<size_t> backBlockEnds;
    RowReader backReader(source, {});
    // Waited for before what it uses goes, even on an exception; without it, all blocks
    // are read on this thread.
    std::future<void> back = StartAside([&] {
        readBlocks(blocks, Blocks::End::back, backReader, entries, [&](CacheRow&& row) { fromBack.push_back(std::move(row)); },
                   [&] { backBlockEnds.push_back(fromBack.size()); });
    });
    RowReader frontReader(source, {});
    readBlocks(blocks, Blocks::End::front, frontReader, entries, keepRow, [] {});
    if (back.valid()) {
        back.get();
        for (size_t end = backBlockEnds.size(); end-- > 0;) {   // the blocks in the entries' order
            const size_t begin = end == 0 ? 0 : backBlockEnds[end - 1];
            for (size_t i = begin; i < backBlockEnds[end]; ++i)
                keepRow(std::move(fromBack[i]));
        }
        if (source.reuse)
            source.reuse->giveStorage(std::move(fromBack));
    }
    listing.rows = std::move(rows);
}

} // namespace

const QStringList& CacheColumnHeaders()
{
    static const QStringList headers = {
        QStringLiteral("KeyName"),     QStringLiteral("In Add/Remove"), QStringLiteral("File Path"),
        QStringLiteral("Frequency"),   QStringLiteral("Last Used"),     QStringLiteral("Install Size"),
        QStringLiteral("Has Name"),    QStringLiteral("Data Size"),     QStringLiteral("Changed"),
    };
    return headers;
}

QString FrequencyText(int32_t frequency)
{
    std::string_view word = "frequently";
    if (frequency >= -1 && frequency <= 2)
        word = "rarely";
    else if (frequency >= 3 && frequency <= 10)
        word = "occasionally";
    char text[32];   // the longest word, " (", eleven digits and ")"
    char* out = std::copy(word.begin(), word.end(), text);
    out = std::copy_n(" (", 2, out);
    out = std::to_chars(out, std::end(text) - 1, frequency).ptr;   // room kept for the ")"
    *out++ = ')';
    return QString::fromLatin1(text, out - text);
}

QString InAddRemoveText(bool inAddRemove)
{
    return inAddRemove ? QStringLiteral("Yes") : QStringLiteral("No");
}

QString HasNameText(bool hasName)
{
    return hasName ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<QDateTime> FileTimeToUtc(uint64_t fileTime)
{
    const auto parts = splitFileTime(fileTime);
    if (!parts)
        return std::nullopt;
    return QDateTime(QDate(1601, 1, 1).addDays(parts->day), QTime::fromMSecsSinceStartOfDay(parts->msecs), Qt::UTC);
}

QString FileTimeToIso(uint64_t fileTime)
{
    // Written digit by digit: QDateTime and its ISO text cost several times as much.
    const auto parts = splitFileTime(fileTime);
    if (!parts)
        return QString();
    const std::chrono::year_month_day date{kFileTimeEpoch + std::chrono::days(parts->day)};
    const unsigned seconds = unsigned(parts->msecs / 1000);
    char16_t text[20];
    char16_t* out = putDigits(text, unsigned(int(date.year())), 4);
    *out++ = u'-';
    out = putDigits(out, unsigned(date.month()), 2);
    *out++ = u'-';
    out = putDigits(out, unsigned(date.day()), 2);
    *out++ = u'T';
    out = putDigits(out, seconds / 3600, 2);
    *out++ = u':';
    out = putDigits(out, seconds / 60 % 60, 2);
    *out++ = u':';
    out = putDigits(out, seconds % 60, 2);
    *out++ = u'Z';
    return QString(reinterpret_cast<const QChar*>(text), out - text);
}

namespace {

// The date format with a two-digit year ("yy") written with four, so that 1601 never shows
// as 01; quoted text is left as it is.
QString withFourDigitYears(QString format)
{
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format.at(i) == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (quoted || format.at(i) != u'y')
            continue;
        qsizetype end = i;
        while (end < format.size() && format.at(end) == u'y')
            ++end;
        if (end - i == 2) {
            format.insert(i, QStringLiteral("yy"));
            end += 2;
        }
        i = end - 1;
    }
    return format;
}

} // namespace

LastUsedFormatter::LastUsedFormatter(const QLocale& locale)
    : locale_(locale)
    , dateFormat_(withFourDigitYears(locale.dateFormat(QLocale::ShortFormat)))
    , timeFormat_(locale.timeFormat(QLocale::LongFormat))
{
}

QString LastUsedFormatter::text(uint64_t fileTime) const
{
    const auto utc = FileTimeToUtc(fileTime);
    if (!utc)
        return fileTime == 0 ? kNoDateGiven : QStringLiteral("Out of range (FILETIME %1)").arg(decimalText(fileTime));
    const qint64 day = utc->date().toJulianDay();
    auto date = dateTexts_.constFind(day);
    if (date == dateTexts_.cend())
        date = dateTexts_.insert(day, locale_.toString(utc->date(), dateFormat_));
    const QTime time = utc->time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return *date;
    return *date + QLatin1Char(' ') + locale_.toString(*utc, timeFormat_);
}

uint8_t CacheOSKind(Machine& machine)
{
    // A user hive alone holds its own cache, where kind 8 looks for it.
    return hasUserHiveAlone(machine) ? 8 : OSKindFromInfo(GetOSInfo(machine));
}

void CacheRowReuse::makeIndex()
{
    if (!index_.isEmpty())
        return;
    index_.reserve(qsizetype(rows_.size()));
    for (size_t i = 0; i < rows_.size(); ++i)
        index_.insert(rows_[i].KeyName, i);
}

size_t CacheRowReuse::splitAt(QStringView name, size_t place, size_t entries)
{
    if (rows_.size() == entries && place < rows_.size() && rows_[place].KeyName == name)
        return place;
    makeIndex();
    const auto found = index_.constFind(name.toString());
    return found != index_.cend() ? *found : std::min(place, rows_.size());
}

CacheRow* CacheRowReuse::byName(QStringView name, Range& range)
{
    const auto takes = [&](size_t row) { return row >= range.begin && row < range.end && row < rows_.size() && !taken_[row]; };
    if (takes(range.next) && rows_[range.next].KeyName == name)
        return &rows_[range.next++];
    if (range.alone)
        makeIndex();
    const auto found = index_.constFind(name.toString());   // without an index: decoded afresh
    if (found == index_.cend() || !takes(*found))
        return nullptr;
    range.next = *found + 1;
    return &rows_[*found];
}

CacheRow* CacheRowReuse::take(QStringView name, const QByteArray& record, std::optional<QStringView> changed, Range& range)
{
    CacheRow* kept = rows_.empty() ? nullptr : byName(name, range);
    if (!kept || kept->Changed.has_value() != changed.has_value() || (changed && *kept->Changed != *changed)
        || !DecodesTo(record, kept->record))
        return nullptr;
    taken_[size_t(kept - rows_.data())] = true;
    // The texts the next entries compare lie scattered in memory: they are fetched ahead.
    for (size_t ahead = range.next + 1; ahead < std::min({rows_.size(), range.end, range.next + 3}); ++ahead)
        prefetchTexts(rows_[ahead]);
    return kept;
}

std::vector<CacheRow> CacheRowReuse::takeStorage(size_t rows)
{
    if (storage_.empty())
        return {};
    // The smallest with room enough, else the largest.
    auto chosen = std::find_if(storage_.begin(), storage_.end(), [rows](const auto& kept) { return kept.capacity() >= rows; });
    if (chosen == storage_.end())
        --chosen;
    std::vector<CacheRow> taken = std::move(*chosen);
    storage_.erase(chosen);
    return taken;
}

void CacheRowReuse::giveStorage(std::vector<CacheRow>&& rows)
{
    constexpr size_t kMostKept = 2;   // as many as a listing takes
    rows.clear();
    if (rows.capacity() == 0)
        return;
    const auto byRoom = [](const auto& a, const auto& b) { return a.capacity() < b.capacity(); };
    storage_.insert(std::upper_bound(storage_.begin(), storage_.end(), rows, byRoom), std::move(rows));
    if (storage_.size() > kMostKept)
        storage_.erase(storage_.begin());   // the smallest
}

void CacheRowReuse::begin(LastUsedStyle style)
{
    if (style_ != style) {
        rows_.clear();
        taken_.clear();
    }
    style_ = style;
    index_.clear();
}

void CacheRowReuse::keep(CacheListing&& listing)
{
    if (!listing.unreadable.isEmpty())   // names the rows with a damage
        std::erase_if(listing.rows, [](const CacheRow& row) { return !row.damage.isEmpty(); });
    giveStorage(std::move(rows_));
    rows_ = std::move(listing.rows);
    listing.rows.clear();
    taken_.assign(rows_.size(), 0);
    style_ = listing.lastUsedColumn;
    index_.clear();
}

CacheListing StreamCache(Machine& machine, const CacheRowSink& eachRow, LastUsedStyle lastUsedColumn, CacheRowReuse* reuse)
{
    machine.reloadChangedStores();
    if (reuse)
        reuse->begin(lastUsedColumn);
    CacheListing listing;
    listing.osKind = CacheOSKind(machine);
    listing.lastUsedColumn = lastUsedColumn;
    listing.versionUnknown = hasUserHiveAlone(machine);
    listing.root = CacheRoot(listing.osKind);

    const auto root = machine.rootKey(listing.root);
    const auto cache = root ? machine.open(*root, withoutLeadingBackslash(kArpCachePath)) : std::nullopt;
    listing.cacheFound = cache.has_value();
    if (!cache || !cache->store)
        return listing;
    // The entries are read straight from the cache key's store, by node: a lookup by path
    // per entry would cost a search among all entries each.
    const RegistryStore& store = *cache->store;
    const UninstallLookup inUninstall = uninstallLookup(machine);
    listing.uninstallDamage = inUninstall.damage;
    const std::vector<NodeId> entries = store.children(cache->node);
    const RowSource source{store, inUninstall, lastUsedColumn, reuse};
    if (eachRow) {
        readInOrder(source, entries, [&](CacheRow&& row) {
            noteDamage(listing, row);
            eachRow(std::move(row));
        });
    } else {
        readAllRows(source, entries, listing);
    }
    return listing;
}

CacheListing ListCache(Machine& machine, const std::function<void()>& bagEnter, LastUsedStyle lastUsedColumn,
                       CacheRowReuse* reuse)
{
    CacheListing listing = StreamCache(machine, {}, lastUsedColumn, reuse);
    if (bagEnter)
        bagEnter();
    return listing;
}

QString EmptyListingReason(const Machine& machine, const CacheListing& listing)
{
    if (listing.cacheFound)
        return {};
    const std::optional<KeyRef> rootKey = machine.rootKey(listing.root);
    if (listing.root == HKEY_CURRENT_USER && (!rootKey || !rootKey->store))
        return QStringLiteral("The cache of this Windows is in HKEY_CURRENT_USER: open a user's NTUSER.DAT too");
    return QStringLiteral("This registry has no key ") + RootName(listing.root) + kArpCachePath;
}

} // namespace parvelle
