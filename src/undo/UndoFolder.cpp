#include "UndoFolder.h"

#include "RegFile.h"
#include "registry/Errors.h"

#include <QDir>
#include <QFile>

namespace parvelle {

TUndoFolder::TUndoFolder(QString folder) : folder_(std::move(folder)) {}

QStringList TUndoFolder::List() const
{
    QDir dir(folder_);
    return dir.entryList({QStringLiteral("*.reg")},
                         QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
}

QString TUndoFolder::Newest() const
{
    const QStringList names = List();
    return names.isEmpty() ? QString() : names.last();
}

QString TUndoFolder::PathOf(const QString& name) const
{
    // Bare "*.reg" names only: the folder may be the program's own, with other files.
    if (name.contains(u'/') || name.contains(u'\\') || name.contains(QChar(0))
        || !name.endsWith(QStringLiteral(".reg"), Qt::CaseInsensitive) || name.size() < 5)
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
    return QFile::remove(PathOf(name));
}

} // namespace parvelle
