#pragma once
// The predefined root keys, with the handle values Windows gives them.
#include <QString>
#include <cstdint>

namespace parvelle {

using HKEY = uint32_t;   // 0 = no root

constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
constexpr HKEY HKEY_USERS = 0x80000003;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;
constexpr HKEY HKEY_DYN_DATA = 0x80000006;

// "HKEY_LOCAL_MACHINE" etc.; empty for an unknown handle.
QString RootName(HKEY root);
// The root of that exact name (letter case ignored), or 0.
HKEY RootFromName(const QString& name);

} // namespace parvelle
