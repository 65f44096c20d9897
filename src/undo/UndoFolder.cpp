#include "UndoFolder.h"

#include "RegFile.h"
#include "core/Errors.h"
#include "core/NativePath.h"
#include "core/QuietRead.h"

#include <QDir>
#include <unistd.h>

namespace parvelle {

namespace {

// Bare "*.reg" names only: the folder may be the program's own, with other files.
bool isUndoFileName(const QString& name)
{
    return name.endsWith(QStringLiteral(".reg"), Qt::CaseInsensitive) && !name.contains(u'/')
        && !name.contains(u'\\') && !name.contains(QChar(0));
}

} // namespace

TUndoFolder::TUndoFolder(QString folder) : folder_(std::move(folder)) {}

QStringList TUndoFolder::List() const
{
    QStringList names = QuietFolderEntries(folder_, EntryKind::Files);
    names.removeIf([](const QString& name) { return !isUndoFileName(name); });
    return names;
}

QString TUndoFolder::Newest() const
{
    const QStringList names = List();
    return names.isEmpty() ? QString() : names.last();
}

QString TUndoFolder::PathOf(const QString& name) const
{
    if (!isUndoFileName(name))
        throw EInOutError(QStringLiteral("'%1' is not the name of a file in the undo folder")
                              .arg(name));
    return QDir(folder_).filePath(name);
}

QStringList TUndoFolder::Load(const QString& name) const
{
    return ListUndoEntries(ReadRegFile(PathOf(name)));
}

bool TUndoFolder::Delete(const QString& name) const
{
    return ::unlink(NativePath(PathOf(name)).constData()) == 0;
}

} // namespace parvelle
