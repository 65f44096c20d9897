#pragma once
// A hive's keys and values as lines ("path", "path : name = type hex"), read through hivex
// alone or through a RegistryStore, for comparing the two. Reading through hivex checks
// that every subkey list is in Windows' order.
#include "registry/RegistryStore.h"

#include <QFile>
#include <QStringList>
#include <cstdlib>
#include <gtest/gtest.h>
#include <hivex.h>

namespace parvelle::test {

// One line per key and value, read through hivex alone.
inline void dumpWithHivex(hive_h* h, hive_node_h node, const QString& path, QStringList& out)
{
    out << path;
    hive_value_h* values = hivex_node_values(h, node);
    ASSERT_NE(values, nullptr);
    for (hive_value_h* v = values; *v; ++v) {
        char* key = hivex_value_key(h, *v);
        hive_type type;
        size_t length = 0;
        char* data = hivex_value_value(h, *v, &type, &length);
        ASSERT_NE(data, nullptr) << path.toStdString();
        out << path + QStringLiteral(" : ") + QString::fromUtf8(key) + QStringLiteral(" = ") + QString::number(type)
                + QLatin1Char(' ') + QString::fromLatin1(QByteArray(data, qsizetype(length)).toHex());
        std::free(key);
        std::free(data);
    }
    std::free(values);
    hive_node_h* kids = hivex_node_children(h, node);
    ASSERT_NE(kids, nullptr);
    QString previous;
    for (hive_node_h* k = kids; *k; ++k) {
        char* name = hivex_node_name(h, *k);
        const QString kidName = QString::fromUtf8(name);
        std::free(name);
        // Windows finds a key by bisection: every list must be in its order.
        EXPECT_TRUE(k == kids || NameLess(previous, kidName))
            << "subkeys of '" << path.toStdString() << "' out of order: " << previous.toStdString() << " / " << kidName.toStdString();
        previous = kidName;
        dumpWithHivex(h, *k, path + QLatin1Char('\\') + kidName, out);
    }
    std::free(kids);
}

// The same lines, read through a RegistryStore.
inline void dumpStore(const RegistryStore& store, NodeId node, const QString& path, QStringList& out)
{
    out << path;
    for (const RegValue& v : store.values(node))
        out << path + QStringLiteral(" : ") + v.name + QStringLiteral(" = ") + QString::number(v.type) + QLatin1Char(' ')
                + QString::fromLatin1(v.data.toHex());
    for (NodeId kid : store.children(node))
        dumpStore(store, kid, path + QLatin1Char('\\') + store.name(kid), out);
}

inline QStringList hivexDump(const QString& path)
{
    QStringList lines;
    hive_h* h = hivex_open(QFile::encodeName(path).constData(), 0);
    EXPECT_NE(h, nullptr);
    if (h) {
        dumpWithHivex(h, hivex_root(h), QString(), lines);
        hivex_close(h);
    }
    return lines;
}

inline QStringList storeDump(const RegistryStore& store)
{
    QStringList lines;
    dumpStore(store, store.root(), QString(), lines);
    return lines;
}

} // namespace parvelle::test
