#include "WindowsCollection.h"

#include "RegistrySources.h"
#include "core/Errors.h"
#include "core/NativePath.h"
#include "core/QuietRead.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <set>
#include <unistd.h>
#include <vector>

namespace parvelle {

namespace {

bool isWithin(const QString& canonicalRoot, const QString& canonicalPath)
{
    return canonicalPath == canonicalRoot || canonicalPath.startsWith(canonicalRoot + QLatin1Char('/'))
           || canonicalRoot == QLatin1String("/");
}

// Why a folder cannot be searched, or empty when it can.
QString unsearchableReason(const QString& folder)
{
    if (::access(NativePath(folder).constData(), R_OK | X_OK) == 0)
        return {};
    return SystemErrorText();
}

class CollectionSearch {
public:
    explicit CollectionSearch(const QString& root)
        : root_(root), canonicalRoot_(CanonicalPath(root))
    {
        found_.root = root;
    }

    WindowsCollection run()
    {
        std::vector<QString> pending{root_};
        visited_.insert(canonicalRoot_);
        while (!pending.empty()) {
            const QString folder = pending.back();
            pending.pop_back();
            search(folder, pending);
        }
        found_.installations.sort();
        return found_;
    }

private:
    void search(const QString& folder, std::vector<QString>& pending)
    {
        if (const QString reason = unsearchableReason(folder); !reason.isEmpty()) {
            found_.unreadable.append(relative(folder) + QStringLiteral(": ") + reason);
            return;
        }
        if (HoldsWindowsInstallation(folder)) {
            found_.installations.append(relative(folder));
            return;
        }
        const QStringList names = QuietFolderEntries(folder, EntryKind::Folders);
        for (auto name = names.rbegin(); name != names.rend(); ++name) {   // the stack gives them back in order
            const QString entry = QDir(folder).filePath(*name);
            const QString target = CanonicalPath(entry);
            if (IsSymLink(entry) && !isWithin(canonicalRoot_, target)) {
                found_.linksLeftOut.append(relative(entry) + QStringLiteral(" -> ") + SymLinkTarget(entry));
                continue;
            }
            if (!target.isEmpty() && visited_.insert(target).second)
                pending.push_back(entry);
        }
    }

    QString relative(const QString& path) const { return RelativeToRoot(root_, path); }

    QString root_;
    QString canonicalRoot_;
    std::set<QString> visited_;
    WindowsCollection found_;
};

} // namespace

WindowsCollection FindWindowsInstallations(const QString& root)
{
    if (!IsFolder(root))
        throw EHiveError(QStringLiteral("The collection folder '%1' does not exist").arg(root));
    return CollectionSearch(root).run();
}

QString RelativeToRoot(const QString& root, const QString& path)
{
    return QDir(AbsolutePath(root)).relativeFilePath(AbsolutePath(path));
}

bool LiesInside(const QString& root, const QString& path)
{
    const QString target = CanonicalPath(path);
    return !target.isEmpty() && isWithin(CanonicalPath(root), target);
}

} // namespace parvelle
