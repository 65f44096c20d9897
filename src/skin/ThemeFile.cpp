#include "ThemeFile.h"

#include "ThemeCatalogue.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QWidget>

namespace parvelle {

namespace {

bool LoadBmp(const QByteArray* data, QImage& image)
{
    return data && image.loadFromData(*data, "BMP");
}

QString FileNamePart(const QString& path)
{
    const qsizetype slash = std::max(path.lastIndexOf(QLatin1Char('/')),
                                     path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(slash + 1);
}

} // namespace

bool TsuiFileThemeMgr::LoadThemeFile(const QString& fileName)
{
    reader_.reset();
    if (!QFileInfo(fileName).isFile())
        return false;
    reader_ = std::make_unique<TsuiThemeFileReader>(fileName);
    return true;
}

bool TsuiFileThemeMgr::GetBitmap(int item, QImage& graphic) const
{
    QImage image;
    if (!reader_ || !LoadBmp(reader_->GetStream(ThemeItemKeyName(item)), image))
        return false;
    graphic = image;
    return true;
}

bool TsuiFileThemeMgr::GetBitmapSlice(int item, QImage& graphic, int index, int count) const
{
    QImage whole;
    if (!GetBitmap(item, whole))
        return false;
    ExtractBitmapSlice(whole, graphic, count, index);
    return true;
}

bool TsuiFileThemeMgr::GetBool(int item) const
{
    return reader_ && reader_->GetBool(ThemeItemKeyName(item));
}

int32_t TsuiFileThemeMgr::GetInt(int item) const
{
    return reader_ ? reader_->GetInt(ThemeItemKeyName(item)) : 0;
}

TColor TsuiFileThemeMgr::GetColor(int item) const
{
    return static_cast<TColor>(GetInt(item));
}

TsuiFileTheme::TsuiFileTheme(QObject* owner) : QObject(owner) {}

QStringList TsuiFileTheme::SearchFolders()
{
    QStringList folders;
    if (QCoreApplication::instance())
        folders.append(QCoreApplication::applicationDirPath());
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!userData.isEmpty())
        folders.append(userData);
    return folders;
}

QString TsuiFileTheme::FindThemeFile(const QString& value) const
{
    if (QFileInfo(value).isFile())
        return value;
    const QString name = FileNamePart(value);
    if (name.isEmpty())
        return QString();
    for (const QString& folder : SearchFolders()) {
        const QString candidate = folder.endsWith(QLatin1Char('/')) ? folder + name
                                                                     : folder + QLatin1Char('/') + name;
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return QString();
}

void TsuiFileTheme::SetThemeFile(const QString& value)
{
    if (value == themeFile_)
        return;
    const QString path = FindThemeFile(value);
    if (path.isEmpty())
        return;
    themeFile_ = path;
    canUse_ = false;   // stays false when the read below fails
    canUse_ = mgr_.LoadThemeFile(path);
    if (canUse_)
        ReloadUsers();
}

void TsuiFileTheme::ReloadUsers()
{
    const auto* form = qobject_cast<QWidget*>(parent());
    if (!form || !form->isWindow())
        return;
    const QString fileThemeProperty = QStringLiteral("FileTheme");
    for (QObject* component : form->findChildren<QObject*>()) {
        if (component == this
            || !ShortClassName(component->metaObject()).startsWith(QLatin1String("Tsui"))
            || !HasPublishedProperty(component, fileThemeProperty))
            continue;
        if (qvariant_cast<QObject*>(GetPublishedProperty(component, fileThemeProperty)) == this)
            SetPublishedProperty(component, fileThemeProperty, QVariant::fromValue(this));
    }
}

bool TsuiFileTheme::GetBitmap(int item, QImage& graphic) const
{
    return mgr_.GetBitmap(item, graphic);
}

bool TsuiFileTheme::GetBitmapSlice(int item, QImage& graphic, int index, int count) const
{
    return mgr_.GetBitmapSlice(item, graphic, index, count);
}

bool TsuiFileTheme::GetBool(int item) const
{
    return mgr_.GetBool(item);
}

int32_t TsuiFileTheme::GetInt(int item) const
{
    return mgr_.GetInt(item);
}

TColor TsuiFileTheme::GetColor(int item) const
{
    return mgr_.GetColor(item);
}

} // namespace parvelle
