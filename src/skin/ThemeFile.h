#pragma once
// The file theme component: the values of one theme file for the skinned components.
#include "SkinDraw.h"
#include "theme/ThemeFileReader.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace parvelle {

// Maps item numbers to key names and reads them from its file's reader.
class TsuiFileThemeMgr {
public:
    // True when the file exists (then read by a new reader); the previous reader goes first.
    // EInOutError when it exists but cannot be read.
    bool LoadThemeFile(const QString& fileName);

    bool GetBitmap(int item, QImage& graphic) const;   // false (graphic unchanged) without entry
    bool GetBitmapSlice(int item, QImage& graphic, int index, int count) const;
    bool GetBool(int item) const;
    int32_t GetInt(int item) const;
    TColor GetColor(int item) const;

    const TsuiThemeFileReader* Reader() const { return reader_.get(); }

private:
    std::unique_ptr<TsuiThemeFileReader> reader_;
};

// The component that holds one theme file for the skinned components of its form.
class TsuiFileTheme : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString ThemeFile READ ThemeFile WRITE SetThemeFile)

public:
    explicit TsuiFileTheme(QObject* owner = nullptr);

    QString ThemeFile() const { return themeFile_; }
    // A path, or a file name looked up in the executable's folder (then the per-user data
    // folder). A missing file changes nothing. Once read, the form's Tsui components that
    // use this file theme are given it again so they reload their values.
    void SetThemeFile(const QString& value);

    bool CanUse() const { return canUse_; }
    bool GetBitmap(int item, QImage& graphic) const;
    bool GetBitmapSlice(int item, QImage& graphic, int index, int count) const;
    bool GetBool(int item) const;     // false without a read file
    int32_t GetInt(int item) const;   // 0 without a read file
    TColor GetColor(int item) const;  // 0 without a read file

    const TsuiFileThemeMgr& Manager() const { return mgr_; }

    // Folders searched for a theme file given by a name that does not exist as a path.
    static QStringList SearchFolders();

private:
    QString FindThemeFile(const QString& value) const;
    void ReloadUsers();

    QString themeFile_;
    TsuiFileThemeMgr mgr_;
    bool canUse_ = false;
};

} // namespace parvelle

