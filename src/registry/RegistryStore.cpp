#include "RegistryStore.h"

#include "core/Errors.h"
#include "core/SafeFile.h"

#include <QDateTime>
#include <algorithm>
#include <cstring>

namespace parvelle {

uint64_t CurrentFileTime()
{
    constexpr int64_t kUnixEpochInFileTimeMs = 11644473600000LL;
    return uint64_t(QDateTime::currentMSecsSinceEpoch() + kUnixEpochInFileTimeMs) * 10000u;
}

QString ValueTypeName(uint32_t type)
{
    switch (type) {
    case REG_NONE: return QStringLiteral("REG_NONE");
    case REG_SZ: return QStringLiteral("REG_SZ");
    case REG_EXPAND_SZ: return QStringLiteral("REG_EXPAND_SZ");
    case REG_BINARY: return QStringLiteral("REG_BINARY");
    case REG_DWORD: return QStringLiteral("REG_DWORD");
    case REG_DWORD_BIG_ENDIAN: return QStringLiteral("REG_DWORD_BIG_ENDIAN");
    case REG_LINK: return QStringLiteral("REG_LINK");
    case REG_MULTI_SZ: return QStringLiteral("REG_MULTI_SZ");
    case REG_RESOURCE_LIST: return QStringLiteral("REG_RESOURCE_LIST");
    case REG_FULL_RESOURCE_DESCRIPTOR: return QStringLiteral("REG_FULL_RESOURCE_DESCRIPTOR");
    case REG_RESOURCE_REQUIREMENTS_LIST: return QStringLiteral("REG_RESOURCE_REQUIREMENTS_LIST");
    case REG_QWORD: return QStringLiteral("REG_QWORD");
    default: return QStringLiteral("0x%1").arg(type, 8, 16, QLatin1Char('0'));
    }
}

char16_t UpcaseBeyondAscii(char16_t unit)
{
    const char32_t upper = QChar::toUpper(char32_t(unit));   // the simple mapping; a surrogate stays
    return upper < 0x80 ? unit : char16_t(upper);
}

namespace {

// Where two names first differ in a unit (letter case counting), or the shorter's length:
// names compared are mostly alike for long stretches, compared here four units at a time.
qsizetype firstDifference(QStringView a, QStringView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    qsizetype i = 0;
    for (uint64_t x, y; i + 4 <= common; i += 4) {
        std::memcpy(&x, a.utf16() + i, sizeof x);
        std::memcpy(&y, b.utf16() + i, sizeof y);
        if (x != y)
            break;
    }
    while (i < common && a[i] == b[i])
        ++i;
    return i;
}

} // namespace

bool SameName(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = firstDifference(a, b); i < a.size(); ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x != y && UpcaseUnit(x) != UpcaseUnit(y))
            return false;
    }
    return true;
}

int NameCompare(QStringView a, QStringView b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = firstDifference(a, b); i < common; ++i) {
        const char16_t x = UpcaseUnit(a[i].unicode());
        const char16_t y = UpcaseUnit(b[i].unicode());
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

bool NameLess(QStringView a, QStringView b)
{
    return NameCompare(a, b) < 0;
}

size_t NameHash(QStringView name)
{
    size_t hash = 14695981039346656037ull;   // FNV-1a over the upper-cased units
    for (QChar c : name)
        hash = (hash ^ UpcaseUnit(c.unicode())) * 1099511628211ull;
    return hash;
}

QStringView RegistryStore::nameView(NodeId node, NameBuffer& buffer) const
{
    const QString read = name(node);
    if (buffer.size() < read.size())
        buffer.resize(read.size());
    std::copy(read.utf16(), read.utf16() + read.size(), buffer.data());
    return QStringView(buffer.data(), read.size());
}

void RegistryStore::visitValues(NodeId node, const ValueVisitor& visit) const
{
    for (const RegValue& value : values(node))
        visit(value.name, value.type, value.data);
}

void RegistryStore::visitKey(NodeId node, NameBuffer& buffer, QStringView& name, const ValueVisitor& visit) const
{
    name = nameView(node, buffer);
    visitValues(node, visit);
}

QStringList RegistryStore::childNames(NodeId node) const
{
    QStringList names;
    for (NodeId kid : children(node))
        names.append(name(kid));
    return names;
}

std::optional<NodeId> RegistryStore::find(NodeId from, const QString& path) const
{
    NodeId node = from;
    for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        const std::optional<NodeId> next = child(node, part);
        if (!next)
            return std::nullopt;
        node = *next;
    }
    return node;
}

} // namespace parvelle

namespace parvelle {

void CommitTogether(const std::vector<RegistryStore*>& stores)
{
    std::vector<std::unique_ptr<PreparedCommit>> prepared;
    for (RegistryStore* store : stores) {
        if (store->isModified()) {
            if (std::unique_ptr<PreparedCommit> commit = store->prepareCommit())
                prepared.push_back(std::move(commit));
        }
    }
    if (prepared.empty())
        return;
    Replacement replacement;
    for (const std::unique_ptr<PreparedCommit>& commit : prepared)
        commit->addTo(replacement);
    QString unflushed;
    try {
        unflushed = replacement.place();
    } catch (const EInOutError& error) {
        throw EHiveError(error.message());
    }
    for (const std::unique_ptr<PreparedCommit>& commit : prepared)
        commit->placed();
    if (!unflushed.isEmpty())
        throw EHiveError(QStringLiteral("The changes were saved, but the folder %1 could not be flushed to disk; "
                                        "they may be lost if the system stops before it writes the folder")
                             .arg(unflushed));
}

} // namespace parvelle
