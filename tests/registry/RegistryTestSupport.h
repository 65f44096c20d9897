#pragma once
// Shared helpers of the registry tests: stores of both kinds, real hives, peer tools.
#include "TestData.h"
#include "TestSupport.h"
#include "core/Errors.h"
#include "registry/HiveStore.h"
#include "registry/MemoryStore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace parvelle::test {

// Decompresses one of the test hives into `dir` and returns the new file's path.
inline QString unpackHive(const QTemporaryDir& dir, const char* name)
{
    return UnpackTestHive(name, dir.filePath(QLatin1String(name)));
}

inline QByteArray fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

inline QString throwMessage(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EParvelleError& e) {
        return e.message();
    }
    return QStringLiteral("<nothing thrown>");
}

enum class StoreKind { Memory, Hive };

inline std::string storeKindName(const ::testing::TestParamInfo<StoreKind>& info)
{
    return info.param == StoreKind::Memory ? "Memory" : "Hive";
}

// A fresh empty store of either kind; hive stores live in a temporary folder.
class StoreMaker {
public:
    std::shared_ptr<RegistryStore> make(StoreKind kind)
    {
        if (kind == StoreKind::Memory)
            return std::make_shared<MemoryStore>();
        const QString path = dir_.filePath(QStringLiteral("hive%1").arg(++count_));
        HiveStore::createEmpty(path);
        return std::make_shared<HiveStore>(path);
    }

    // The same kind of store, but refusing writes.
    std::shared_ptr<RegistryStore> makeReadOnly(StoreKind kind, const std::function<void(RegistryStore&)>& fill)
    {
        std::shared_ptr<RegistryStore> store = make(kind);
        fill(*store);
        store->commit();
        if (kind == StoreKind::Memory) {
            std::static_pointer_cast<MemoryStore>(store)->setReadOnly(QStringLiteral("test"));
            return store;
        }
        const QString path = store->describe();
        store.reset();
        return std::make_shared<HiveStore>(path, HiveStore::Access::ReadOnly);
    }

    QString folder() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    int count_ = 0;
};

inline RegValue textValue(const QString& name, const QString& text, uint32_t type = REG_SZ)
{
    QByteArray data;
    for (QChar c : text + QChar(0)) {
        data.append(char(c.unicode() & 0xFF));
        data.append(char(c.unicode() >> 8));
    }
    return RegValue{name, type, data};
}

} // namespace parvelle::test
