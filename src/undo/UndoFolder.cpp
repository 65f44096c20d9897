#include "UndoFolder.h"

#include "RegFile.h"
#include "core/Errors.h"

#include <QDir>
#include <QFile>

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
    QStringList names = QDir(folder_).entryList({QStringLiteral("*.reg")}, QDir::Files | QDir::Hidden | QDir::System,
                                                QDir::Name | QDir::IgnoreCase);
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
    return QFile::remove(PathOf(name));
}

} // namespace parvelle
