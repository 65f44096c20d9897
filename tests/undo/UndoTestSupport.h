#pragma once
// Shared helpers of the undo tests: memory registries, files, cache entries.
#include "cache/OSInfo.h"
#include "registry/RegistryStore.h"
#include "undo/UndoContext.h"
#include "MemoryMachine.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace parvelle::test {

inline const QString kArpCacheKeyPath = kArpCachePath + u'\\';
inline const QString kArpCacheBelowSoftware =
    QStringLiteral("Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache");

inline QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

inline void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QString Golden(const QString& name)
{
    return QStringLiteral(PARVELLE_SOURCE_DIR "/tests/undo/golden/") + name;
}

// reglookup's listing of a hive without the modification times of keys.
inline QStringList HiveListing(const QString& hivePath)
{
    QStringList rows;
    for (const QByteArray& row : RunTool(QStringLiteral("reglookup"), {QStringLiteral("-H"), hivePath}).split('\n')) {
        if (!row.isEmpty())
            rows << QString::fromUtf8(row.left(row.lastIndexOf(',')));
    }
    return rows;
}

// Creates the key path (backslash-separated, below `from`) in a store.
inline NodeId MakeKey(RegistryStore& store, const QString& path, NodeId from = 0)
{
    NodeId node = from ? from : store.root();
    for (const QString& part : path.split(u'\\', Qt::SkipEmptyParts))
        node = store.addChild(node, part);
    return node;
}

inline QByteArray Utf16z(const QString& text)
{
    QByteArray bytes(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return bytes + QByteArray(2, '\0');
}

inline QByteArray Dword(uint32_t value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), 4);
}

inline QByteArray Pattern(int size, int step = 7, int offset = 3)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * step + offset) & 0xFF);
    return bytes;
}

// A machine on memory stores with the cache key present in both hives.
struct MemoryCacheMachine : MemoryMachine {
    MemoryCacheMachine()
    {
        MakeKey(*software, kArpCacheBelowSoftware);
        MakeKey(*user, QStringLiteral("Software\\") + kArpCacheBelowSoftware);
    }

    NodeId cacheEntry(const QString& name, bool underUser = false)
    {
        MemoryStore& store = underUser ? *user : *software;
        const QString base = underUser ? QStringLiteral("Software\\") + kArpCacheBelowSoftware
                                       : kArpCacheBelowSoftware;
        return MakeKey(store, base + u'\\' + name);
    }
};

// Every key and value below a node, one line each, for comparing whole trees.
inline QStringList Snapshot(const RegistryStore& store, NodeId node, const QString& path = QString())
{
    QStringList lines{QStringLiteral("[%1]").arg(path)};
    for (const RegValue& value : store.values(node))
        lines << QStringLiteral("%1 %2 %3").arg(value.name).arg(value.type)
                     .arg(QString::fromLatin1(value.data.toHex()));
    for (const NodeId child : store.children(node))
        lines << Snapshot(store, child, path + u'\\' + store.name(child));
    return lines;
}

// A fixed local time: every removal of a test falls into the same second.
inline TUndoContext::Clock FixedClock(const QString& stamp = QStringLiteral("20080303-140509"))
{
    const QDateTime time = QDateTime::fromString(stamp, QStringLiteral("yyyyMMdd-HHmmss"));
    return [time] { return time; };
}

} // namespace parvelle::test
