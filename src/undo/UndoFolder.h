#pragma once
// The folder of undo files: listing, loading and deleting them by bare file name.
#include <QString>
#include <QStringList>

namespace parvelle {

class TUndoFolder {
public:
    explicit TUndoFolder(QString folder);

    const QString& Folder() const { return folder_; }

    // Names of the folder's "*.reg" entries (hidden ones too), sorted: newest stamp last.
    QStringList List() const;
    // The newest undo file's name, or empty.
    QString Newest() const;
    // Full path of a bare "*.reg" name (extension in any letter case). Throws EInOutError
    // for any other name: one with a path separator, "..", another extension.
    QString PathOf(const QString& name) const;
    // The undo entries of the named file. Throws EInOutError when it cannot be read.
    QStringList Load(const QString& name) const;
    // Deletes the named file; false when it could not be deleted.
    bool Delete(const QString& name) const;

private:
    QString folder_;
};

} // namespace parvelle
