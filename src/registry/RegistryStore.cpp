#include "RegistryStore.h"

#include <QDateTime>

namespace parvelle {

uint64_t CurrentFileTime()
{
    constexpr int64_t kUnixEpochInFileTimeMs = 11644473600000LL;
    return uint64_t(QDateTime::currentMSecsSinceEpoch() + kUnixEpochInFileTimeMs) * 10000u;
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
