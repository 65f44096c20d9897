#include "RegistryStore.h"

#include <QDateTime>

namespace parvelle {

uint64_t CurrentFileTime()
{
    constexpr int64_t kUnixEpochInFileTimeMs = 11644473600000LL;
    return uint64_t(QDateTime::currentMSecsSinceEpoch() + kUnixEpochInFileTimeMs) * 10000u;
}

bool SameName(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    // ASCII letters fold here; from the first other character on, Qt's folding decides
    // (a non-ASCII character such as the Kelvin sign can fold to an ASCII letter).
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c; };
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x >= 0x80 || y >= 0x80)
            return a.sliced(i).compare(b.sliced(i), Qt::CaseInsensitive) == 0;
        if (fold(x) != fold(y))
            return false;
    }
    return true;
}

bool NameLess(const QString& a, const QString& b)
{
    return a.toUpper() < b.toUpper();
}

size_t NameHash(QStringView name)
{
    size_t hash = 14695981039346656037ull;   // FNV-1a over case-folded code points
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (c < 0x80) {
            if (c >= 'A' && c <= 'Z')
                c += 'a' - 'A';
        } else if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::toCaseFolded(QChar::surrogateToUcs4(char16_t(c), name[++i].unicode()));
        } else {
            c = QChar::toCaseFolded(c);
        }
        hash = (hash ^ c) * 1099511628211ull;
    }
    return hash;
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
