#pragma once
// The keys and values of a hive as the Debian tools read them, and as a store holds them.
#include "registry/RegistryStore.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <map>
#include <utility>

namespace parvelle::test {

// key path ("\\" for the root, "\\A\\B" below it) -> value name -> (type, bytes)
using HiveContents = std::map<QString, std::map<QString, std::pair<uint32_t, QByteArray>>>;

inline void collect(const RegistryStore& store, NodeId node, const QString& path, HiveContents& out)
{
    auto& values = out[path.isEmpty() ? QStringLiteral("\\") : path];
    for (const RegValue& value : store.values(node))
        values[value.name] = {value.type, value.data};
    const QStringList names = store.childNames(node);
    const std::vector<NodeId> children = store.children(node);
    for (size_t i = 0; i < children.size(); ++i)
        collect(store, children[i], path + QLatin1Char('\\') + names.at(qsizetype(i)), out);
}

// The subtree of a store below `path` ("" = the whole store), with paths relative to it.
inline HiveContents contentsOf(const RegistryStore& store, const QString& path = QString())
{
    HiveContents out;
    const auto node = store.find(store.root(), path);
    if (node)
        collect(store, *node, QString(), out);
    return out;
}

// A line of hivexregedit's output: UTF-8 where it is valid (names above U+00FF), else Latin-1.
inline QString decodeLine(const QByteArray& line)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(line);
    return utf8.hasError() ? QString::fromLatin1(line) : text;
}

// `"na\"me"=` or `@=`: the unescaped name and the position after '='.
inline std::pair<QString, qsizetype> exportedValueName(const QString& line)
{
    if (line.startsWith(QLatin1String("@=")))
        return {QString(), 2};
    QString name;
    qsizetype i = 1;
    for (; i < line.size() && line[i] != QLatin1Char('"'); ++i) {
        if (line[i] == QLatin1Char('\\'))
            ++i;
        name += line[i];
    }
    return {name, i + 2};
}

// The contents as `hivexregedit --export FILE '\'` prints them.
inline HiveContents readWithHivexregedit(const QString& hive)
{
    HiveContents out;
    QString key;
    for (const QByteArray& raw : RunTool(QStringLiteral("hivexregedit"), {"--export", hive, "\\"}).split('\n')) {
        const QString line = decodeLine(raw);
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            key = line.mid(1, line.size() - 2);
            out[key];
        } else if (line.startsWith(QLatin1Char('"')) || line.startsWith(QLatin1Char('@'))) {
            const auto [name, at] = exportedValueName(line);
            const QString data = line.mid(at);
            if (data.startsWith(QLatin1String("dword:"))) {
                const uint32_t number = data.mid(6).toUInt(nullptr, 16);
                out[key][name] = {REG_DWORD, QByteArray(reinterpret_cast<const char*>(&number), 4)};
            } else if (data.startsWith(QLatin1String("hex"))) {
                const qsizetype colon = data.indexOf(QLatin1Char(':'));
                const uint32_t type = data.startsWith(QLatin1String("hex(")) ? data.mid(4, colon - 5).toUInt(nullptr, 16) : REG_BINARY;
                out[key][name] = {type, QByteArray::fromHex(data.mid(colon + 1).remove(QLatin1Char(',')).toLatin1())};
            } else {
                out[key][name] = {~0u, data.toUtf8()};   // a form this reader does not know
            }
        }
    }
    return out;
}

// reglookup's text with %XX escapes turned back into bytes.
inline QByteArray unescapeReglookup(const QByteArray& text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.append(char(text.mid(i + 1, 2).toUInt(nullptr, 16)));
            i += 2;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

// reglookup's lines "path,TYPE,data,time" by unescaped path: (TYPE, unescaped data).
inline std::map<QByteArray, std::pair<QByteArray, QByteArray>> readWithReglookup(const QString& hive)
{
    std::map<QByteArray, std::pair<QByteArray, QByteArray>> out;
    for (const QByteArray& line : RunTool(QStringLiteral("reglookup"), {"-H", hive}).split('\n')) {
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() >= 3)
            out[unescapeReglookup(fields[0])] = {fields[1], unescapeReglookup(fields[2])};
    }
    return out;
}

// A key or value name as a hive stores it: Latin-1 when it can be, else UTF-16LE.
inline QByteArray storedName(const QString& name)
{
    for (QChar c : name)
        if (c.unicode() > 0xFF)
            return QByteArray(reinterpret_cast<const char*>(name.utf16()), name.size() * 2);
    return name.toLatin1();
}

// "\\A\\B" -> "/A/B" in stored bytes, as reglookup names keys.
inline QByteArray reglookupPath(const QString& path)
{
    if (path == QLatin1String("\\"))
        return "/";
    QByteArray out;
    for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts))
        out += '/' + storedName(part);
    return out;
}

} // namespace parvelle::test
