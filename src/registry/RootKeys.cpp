#include "RootKeys.h"
#include "RegistryStore.h"

#include <array>
#include <utility>

namespace parvelle {

namespace {

constexpr std::array<std::pair<HKEY, const char*>, 6> kRoots{{
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
    {HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
    {HKEY_DYN_DATA, "HKEY_DYN_DATA"},
}};

} // namespace

QString RootName(HKEY root)
{
    for (const auto& [handle, name] : kRoots) {
        if (handle == root)
            return QString::fromLatin1(name);
    }
    return {};
}

HKEY RootFromName(const QString& name)
{
    for (const auto& [handle, rootName] : kRoots) {
        if (SameName(name, QString::fromLatin1(rootName)))
            return handle;
    }
    return 0;
}

} // namespace parvelle
