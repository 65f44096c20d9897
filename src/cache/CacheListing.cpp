#include "CacheListing.h"

#include "OSInfo.h"
#include "registry/TNTRegistry.h"

#include <QtEndian>
#include <cstdio>
#include <unordered_set>

namespace parvelle {

namespace {

const QString kSlowInfoCache = QStringLiteral("SlowInfoCache");
const QString kChanged = QStringLiteral("Changed");

constexpr uint64_t kFileTimeTicksPerSecond = 10'000'000;
constexpr int64_t kSecondsPerDay = 86'400;

QString withoutLeadingBackslash(const QString& path)
{
    return path.startsWith(QLatin1Char('\\')) ? path.mid(1) : path;
}

// Key names compared as the registry compares them.
using NameSet = std::unordered_set<QString, NameHasher, NameEqual>;

// The Uninstall key's subkey names, read once per listing.
NameSet uninstallNames(Machine& machine)
{
    TNTRegistry registry(machine);
    registry.SelectRoot(HKEY_LOCAL_MACHINE);
    NameSet names;
    if (!registry.OpenPath(kUninstallPath, false))
        return names;
    QStringList list;
    registry.ListSubkeys(list);
    names.insert(list.begin(), list.end());
    return names;
}

// The value of that name (letter case ignored) among a key's values.
const RegValue* findValue(const std::vector<RegValue>& values, const QString& name)
{
    for (const RegValue& value : values)
        if (SameName(value.name, name))
            return &value;
    return nullptr;
}

// A string value's text; a DWORD in signed decimal from its first four bytes (a longer
// DWORD is read as far as a DWORD goes); anything else gives no text.
std::optional<QString> changedText(const RegValue* value)
{
    if (!value)
        return std::nullopt;
    switch (KindOfType(value->type)) {
    case dkString:
        return TextUpToZero(value->data);
    case dkDword:
        if (value->data.size() < 4)
            return std::nullopt;
        return QString::number(qFromLittleEndian<int32_t>(value->data.constData()));
    default:
        return std::nullopt;
    }
}

QStringList columnTexts(const CacheRow& row, const LastUsedFormatter& lastUsed)
{
    const CacheRecord& r = row.Record;
    auto field = [&r](CacheRecord::Field f, auto text) { return r.has(f) ? text() : QString(); };
    return {
        row.KeyName,
        InAddRemoveText(row.InAddRemove),
        field(CacheRecord::fFilePath, [&] { return r.FilePath; }),
        field(CacheRecord::fFrequency, [&] { return FrequencyText(r.Frequency); }),
        field(CacheRecord::fLastUsed, [&] { return lastUsed.text(r.LastUsed); }),
        field(CacheRecord::fInstallSize, [&] { return QString::number(r.InstallSize); }),
        field(CacheRecord::fHasName, [&] { return HasNameText(r.HasName); }),
        field(CacheRecord::fRecordSize, [&] { return QString::number(r.RecordSize); }),
        row.Changed.value_or(QString()),
    };
}

// The row of one entry; nullopt when its SlowInfoCache is missing or not binary.
std::optional<CacheRow> readRow(const RegistryStore& store, NodeId entry, const QString& name,
                                const NameSet& uninstall, const LastUsedFormatter& lastUsed)
{
    const std::vector<RegValue> values = store.values(entry);   // one read for both values
    const RegValue* record = findValue(values, kSlowInfoCache);
    if (!record || KindOfType(record->type) != dkBinary)
        return std::nullopt;
    CacheRow row;
    row.KeyName = name;
    row.InAddRemove = uninstall.count(name) != 0;
    row.Record = DecodeCacheRecord(record->data);
    row.Changed = changedText(findValue(values, kChanged));
    row.Columns = columnTexts(row, lastUsed);
    return row;
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
    QLatin1String word("frequently");
    if (frequency >= -1 && frequency <= 2)
        word = QLatin1String("rarely");
    else if (frequency >= 3 && frequency <= 10)
        word = QLatin1String("occasionally");
    return word + QLatin1String(" (") + QString::number(frequency) + QLatin1Char(')');
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
    if (fileTime == 0)
        return std::nullopt;
    const uint64_t seconds = fileTime / kFileTimeTicksPerSecond;
    const QDate date = QDate(1601, 1, 1).addDays(static_cast<qint64>(seconds / kSecondsPerDay));
    if (!date.isValid() || date.year() > 9999)
        return std::nullopt;
    const int msecs = static_cast<int>((seconds % kSecondsPerDay) * 1000
                                       + (fileTime % kFileTimeTicksPerSecond) / 10'000);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(msecs), Qt::UTC);
}

QString FileTimeToIso(uint64_t fileTime)
{
    const auto utc = FileTimeToUtc(fileTime);
    if (!utc)
        return QString();
    const QDate d = utc->date();
    const QTime t = utc->time();
    char text[24];   // QDateTime::toString(Qt::ISODate) is several times slower
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", d.year(), d.month(), d.day(), t.hour(),
                  t.minute(), t.second());
    return QString::fromLatin1(text);
}

LastUsedFormatter::LastUsedFormatter(const QLocale& locale)
    : locale_(locale)
    , dateFormat_(locale.dateFormat(QLocale::ShortFormat))
    , timeFormat_(locale.timeFormat(QLocale::LongFormat))
{
}

QString LastUsedFormatter::text(uint64_t fileTime) const
{
    const auto utc = FileTimeToUtc(fileTime);
    if (!utc)
        return kNoDateGiven;
    const qint64 day = utc->date().toJulianDay();
    auto date = dateTexts_.constFind(day);
    if (date == dateTexts_.cend())
        date = dateTexts_.insert(day, locale_.toString(utc->date(), dateFormat_));
    const QTime time = utc->time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return *date;
    return *date + QLatin1Char(' ') + locale_.toString(*utc, timeFormat_);
}

CacheListing ListCache(Machine& machine, const std::function<void()>& bagEnter)
{
    CacheListing listing;
    listing.OSKind = OSKindFromInfo(GetOSInfo(machine));

    const auto root = machine.rootKey(CacheRoot(listing.OSKind));
    const auto cache = root ? machine.open(*root, withoutLeadingBackslash(kArpCachePath)) : std::nullopt;
    // The entries are read straight from the cache key's store, by node: a lookup by path
    // per entry would cost a search among all entries each.
    listing.CacheFound = cache.has_value();
    if (cache && cache->store) {
        const RegistryStore& store = *cache->store;
        const NameSet uninstall = uninstallNames(machine);
        const LastUsedFormatter lastUsed;
        const std::vector<NodeId> entries = store.children(cache->node);
        const QStringList names = store.childNames(cache->node);
        listing.Rows.reserve(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            try {
                if (auto row = readRow(store, entries[i], names.at(qsizetype(i)), uninstall, lastUsed))
                    listing.Rows.push_back(std::move(*row));
            } catch (const EParvelleError& error) {
                listing.Unreadable.append(names.at(qsizetype(i)) + QStringLiteral(": ") + error.message());
            }
        }
    }
    if (bagEnter)
        bagEnter();
    return listing;
}

} // namespace parvelle
