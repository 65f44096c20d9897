#pragma once
// Putting a new file in place without replacing one that is already there.
#include <QByteArray>

namespace parvelle {

// Renames `from` to `to` unless a file `to` exists; filesystems without an exclusive
// rename get a hard link instead. Returns 0, or the errno of the failure (EEXIST when `to`
// exists); `from` is left where it was when it fails.
int RenameNoReplace(const QByteArray& from, const QByteArray& to);

} // namespace parvelle
