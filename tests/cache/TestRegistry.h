#pragma once
// A machine on memory stores (SOFTWARE and the user hive) and byte helpers for the tests.
#include "MemoryMachine.h"
#include "demo/DemoRegistry.h"
#include "cache/CacheListing.h"
#include "cache/OSInfo.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtEndian>
#include <initializer_list>
#include <memory>
#include <vector>

namespace parvelle::test {

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

template <typename T>
void putLittleEndian(QByteArray& data, int offset, T value)
{
    qToLittleEndian<T>(value, data.data() + offset);
}

// A zero-filled record of `size` bytes with the fixed fields that fit and a UTF-16LE path.
inline QByteArray record(int size, uint32_t recordSize, bool hasName, int64_t installSize,
                         uint64_t lastUsed, int32_t frequency, const QString& path)
{
    CacheRecord fields;
    fields.RecordSize = recordSize;
    fields.HasName = hasName;
    fields.InstallSize = installSize;
    fields.LastUsed = lastUsed;
    fields.Frequency = frequency;
    fields.FilePath = path;
    return EncodeCacheRecord(fields, size);
}

inline uint64_t fileTime(int year, int month, int day, int h = 0, int m = 0, int s = 0)
{
    return FileTimeOfUtc(year, month, day, h, m, s);
}

// A machine of the given NT version with cache entries under the root that version uses.
class ListingMachine : public MemoryMachine {
public:
    explicit ListingMachine(const QString& ntVersion = QStringLiteral("5.1"))
    {
        keyAt(HKEY_LOCAL_MACHINE, kNtVersionPath)->WriteText(QStringLiteral("CurrentVersion"), ntVersion);
        cacheRoot = ntVersion == QLatin1String("6.0") ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    }

    TNTRegistry& entry(const QString& name, HKEY root = 0)
    {
        keys_.push_back(keyAt(root ? root : cacheRoot, CacheEntryPath(name)));
        return *keys_.back();
    }

    void addEntry(const QString& name, const QByteArray& slowInfoCache, HKEY root = 0)
    {
        const QByteArray data = slowInfoCache;
        entry(name, root).WriteBytes(QStringLiteral("SlowInfoCache"), data.constData(), int(data.size()));
    }

    void addUninstall(const QString& name)
    {
        keyAt(HKEY_LOCAL_MACHINE, kUninstallPath + QLatin1Char('\\') + name);
    }

    static const CacheRow* row(const CacheListing& listing, const QString& name)
    {
        for (const CacheRow& r : listing.rows)
            if (r.KeyName == name)
                return &r;
        return nullptr;
    }

    HKEY cacheRoot;

private:
    std::vector<std::unique_ptr<TNTRegistry>> keys_;
};

} // namespace parvelle::test
