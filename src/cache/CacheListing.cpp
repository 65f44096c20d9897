#include "CacheListing.h"

#include "OSInfo.h"
#include "registry/TNTRegistry.h"

#include <QSet>
#include <QtEndian>

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

// The Uninstall key's subkey names, case-folded; read once per listing.
QSet<QString> uninstallNames(Machine& machine)
{
    TNTRegistry registry(machine);
    registry.SelectRoot(HKEY_LOCAL_MACHINE);
    QSet<QString> names;
    if (!registry.OpenPath(kUninstallPath, false))
        return names;
    QStringList list;
    registry.ListSubkeys(list);
    names.reserve(list.size());
    for (const QString& name : list)
        names.insert(name.toCaseFolded());
    return names;
}

// The subkeys of a key in enumeration order.
std::vector<KeyRef> subkeysOf(const Machine& machine, const KeyRef& key)
{
    std::vector<KeyRef> keys;
    if (key.store) {
        const std::vector<NodeId> nodes = key.store->children(key.node);
        keys.reserve(nodes.size());
        for (NodeId node : nodes)
            keys.push_back({key.root, key.path + QLatin1Char('\\') + key.store->name(node), key.store, node});
        return keys;
    }
    for (const QString& name : machine.subkeyNames(key))
        if (auto child = machine.open(key, name))
            keys.push_back(*child);
    return keys;
}

QString nameOf(const KeyRef& key)
{
    return key.path.mid(key.path.lastIndexOf(QLatin1Char('\\')) + 1);
}

std::optional<RegValue> valueOf(const KeyRef& key, const QString& name)
{
    return key.store ? key.store->value(key.node, name) : std::nullopt;
}

// A string value's text; a DWORD in signed decimal from its first four bytes (a longer
// DWORD is read as far as a DWORD goes); anything else gives no text.
std::optional<QString> changedText(const std::optional<RegValue>& value)
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
std::optional<CacheRow> readRow(const KeyRef& entry, const QSet<QString>& uninstall, const LastUsedFormatter& lastUsed)
{
    const auto record = valueOf(entry, kSlowInfoCache);
    if (!record || KindOfType(record->type) != dkBinary)
        return std::nullopt;
    CacheRow row;
    row.KeyName = nameOf(entry);
    row.InAddRemove = uninstall.contains(row.KeyName.toCaseFolded());
    row.Record = DecodeCacheRecord(record->data);
    row.Changed = changedText(valueOf(entry, kChanged));
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
    const char* word = "frequently";
    if (frequency >= -1 && frequency <= 2)
        word = "rarely";
    else if (frequency >= 3 && frequency <= 10)
        word = "occasionally";
    return QStringLiteral("%1 (%2)").arg(QLatin1String(word)).arg(frequency);
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
    return utc ? utc->toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")) : QString();
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
    const QString date = locale_.toString(utc->date(), dateFormat_);
    const QTime time = utc->time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + QLatin1Char(' ') + locale_.toString(*utc, timeFormat_);
}

CacheListing ListCache(Machine& machine, const std::function<void()>& bagEnter)
{
    CacheListing listing;
    listing.OSKind = OSKindFromInfo(GetOSInfo(machine));

    const auto root = machine.rootKey(CacheRoot(listing.OSKind));
    const auto cache = root ? machine.open(*root, withoutLeadingBackslash(kArpCachePath)) : std::nullopt;
    if (cache) {
        const QSet<QString> uninstall = uninstallNames(machine);
        const LastUsedFormatter lastUsed;
        const std::vector<KeyRef> entries = subkeysOf(machine, *cache);
        listing.Rows.reserve(entries.size());
        for (const KeyRef& entry : entries) {
            try {
                if (auto row = readRow(entry, uninstall, lastUsed))
                    listing.Rows.push_back(std::move(*row));
            } catch (const EParvelleError& error) {
                listing.Unreadable.append(nameOf(entry) + QStringLiteral(": ") + error.message());
            }
        }
    }
    if (bagEnter)
        bagEnter();
    return listing;
}

} // namespace parvelle
