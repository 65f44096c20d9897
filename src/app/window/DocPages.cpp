#include "DocPages.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

// Resources of a static library must be registered by name, outside any namespace.
static void InitWindowResources()
{
    Q_INIT_RESOURCE(window);
}

namespace parvelle {

namespace {
bool WriteIfChanged(const QString& resource, const QString& target)
{
    QFile source(resource);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = source.readAll();
    QFile existing(target);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content)
        return true;
    QSaveFile out(target);
    return out.open(QIODevice::WriteOnly) && out.write(content) == content.size() && out.commit();
}
} // namespace

QString DocumentationPage(const QString& fileName)
{
    InitWindowResources();
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/docs");
    if (!QDir().mkpath(folder))
        return {};
    QDirIterator pages(QStringLiteral(":/docs"), {QStringLiteral("*.html")}, QDir::Files);
    bool ok = true;
    while (pages.hasNext()) {
        const QString resource = pages.next();
        ok = WriteIfChanged(resource, folder + QLatin1Char('/') + QFileInfo(resource).fileName()) && ok;
    }
    const QString page = folder + QLatin1Char('/') + fileName;
    return ok && QFile::exists(page) ? page : QString();
}

} // namespace parvelle
