#pragma once
// Skinned menus: owner-drawn menus that paint their items in the colours of a skin style.
// TsuiPopupMenu is the popup menu, TsuiMainMenu the main menu a TsuiForm shows as its menu
// bar (MenuBar.h); the title bar's system menu is in SystemMenu.h.
#include "ThemeCatalogue.h"
#include "ThemeFile.h"

#include <QIcon>
#include <QMenu>
#include <QPointer>

class QStyleOptionMenuItem;

namespace parvelle {

class TsuiMenuStyle;

// The properties, measuring and drawing shared by every skinned menu. Its submenus, at any
// depth, are measured and drawn the same way.
class TsuiMenu : public QMenu {
    Q_OBJECT
    Q_PROPERTY(bool OwnerDraw READ OwnerDraw WRITE SetOwnerDraw)
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(int MenuItemHeight READ MenuItemHeight WRITE SetMenuItemHeight)
    Q_PROPERTY(int SeparatorHeight READ SeparatorHeight WRITE SetSeparatorHeight)
    Q_PROPERTY(int BarWidth READ BarWidth WRITE SetBarWidth)
    Q_PROPERTY(uint BarColor READ BarColor WRITE SetBarColor)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(uint SeparatorColor READ SeparatorColor WRITE SetSeparatorColor)
    Q_PROPERTY(uint SelectedBorderColor READ SelectedBorderColor WRITE SetSelectedBorderColor)
    Q_PROPERTY(uint SelectedColor READ SelectedColor WRITE SetSelectedColor)
    Q_PROPERTY(uint SelectedFontColor READ SelectedFontColor WRITE SetSelectedFontColor)
    Q_PROPERTY(uint FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(uint BorderColor READ BorderColor WRITE SetBorderColor)
    Q_PROPERTY(bool FlatMenu READ FlatMenu WRITE SetFlatMenu)
    Q_PROPERTY(QString FontName READ FontName WRITE SetFontName)
    Q_PROPERTY(int FontSize READ FontSize WRITE SetFontSize)
    Q_PROPERTY(int FontCharset READ FontCharset WRITE SetFontCharset)
    Q_PROPERTY(bool UseSystemFont READ UseSystemFont WRITE SetUseSystemFont)

public:
    // Starts with the neutral look; UIStyle holds the owner form's style until it is written.
    explicit TsuiMenu(QWidget* owner = nullptr);

    bool OwnerDraw() const { return true; }
    void SetOwnerDraw(bool) {}   // always owner-drawn

    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(TsuiFileTheme* fileTheme);   // stores it, then re-applies UIStyle
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle style);            // stores it and takes the style's look

    int MenuItemHeight() const { return menuItemHeight_; }
    void SetMenuItemHeight(int height);            // ignored in MacOS
    int SeparatorHeight() const { return separatorHeight_; }
    void SetSeparatorHeight(int height);           // ignored in MacOS
    int BarWidth() const { return barWidth_; }
    void SetBarWidth(int width);
    TColor BarColor() const { return barColor_; }
    void SetBarColor(TColor color);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TColor SeparatorColor() const { return separatorColor_; }
    void SetSeparatorColor(TColor color);
    TColor SelectedBorderColor() const { return selectedBorderColor_; }
    void SetSelectedBorderColor(TColor color);
    TColor SelectedColor() const { return selectedColor_; }
    void SetSelectedColor(TColor color);
    TColor SelectedFontColor() const { return selectedFontColor_; }
    void SetSelectedFontColor(TColor color);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor color);
    TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(TColor color);
    bool FlatMenu() const { return flatMenu_; }
    void SetFlatMenu(bool flat);
    QString FontName() const { return fontName_; }
    void SetFontName(const QString& name);
    int FontSize() const { return fontSize_; }
    void SetFontSize(int size);
    int FontCharset() const { return fontCharset_; }
    void SetFontCharset(int charset);   // kept for theme and form files; Qt fonts need none
    bool UseSystemFont() const { return useSystemFont_; }
    void SetUseSystemFont(bool use);

    // The MacOS style's menu bar and selection bitmaps; null images in the other styles.
    const QImage& MacBarPicture() const { return macBarPicture_; }
    const QImage& MacSelectPicture() const { return macSelectPicture_; }

    // The font items are drawn and measured in.
    QFont ItemFont() const;
    // Height and width of an item with this caption and shortcut text.
    QSize MeasureItem(const QString& caption, const QString& shortcut) const;

    // Gives every submenu, at any depth, this menu's measuring and drawing.
    void InstallHandlers();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // The image an item shows; a main menu also shows its check mark this way.
    virtual QIcon ItemImage(const QStyleOptionMenuItem& item) const;

private:
    friend class TsuiMenuStyle;
    void DrawItem(QPainter& painter, const QStyleOptionMenuItem& item) const;
    void DrawItemBackground(QPainter& painter, const QRect& rect, bool selected) const;
    void DrawBarAndBackground(QPainter& painter, const QRect& rect) const;
    void DrawItemText(QPainter& painter, const QStyleOptionMenuItem& item) const;
    void DrawCheckAndImage(QPainter& painter, const QStyleOptionMenuItem& item) const;
    void DrawFlatFrame(QPainter& painter) const;
    void Relayout();
    void LoadMacPictures();
    void FileThemeDestroyed();

    TsuiMenuStyle* style_;
    QPointer<TsuiFileTheme> fileTheme_;
    TsuiUIStyle uiStyle_;
    int menuItemHeight_ = 21;
    int separatorHeight_ = 21;
    int barWidth_ = 0;
    TColor barColor_ = clBtnFace;
    TColor color_ = clWhite;
    TColor separatorColor_ = 0x808080;
    TColor selectedBorderColor_ = clHighlight;
    TColor selectedColor_ = clHighlight;
    TColor selectedFontColor_ = clWhite;
    TColor fontColor_ = clWhite;
    TColor borderColor_ = clBlack;
    bool flatMenu_ = false;
    QString fontName_ = QStringLiteral("MS Sans Serif");
    int fontSize_ = 8;
    int fontCharset_ = 1;
    bool useSystemFont_ = true;
    QImage macBarPicture_, macSelectPicture_;   // decoded once per style
};

class TsuiPopupMenu : public TsuiMenu {
    Q_OBJECT

public:
    explicit TsuiPopupMenu(QWidget* owner = nullptr);
};

// The main menu a TsuiForm shows as its menu bar: its actions are the top-level items.
class TsuiMainMenu : public TsuiMenu {
    Q_OBJECT

public:
    // When the owner is a form, the menu attaches itself to the form's first TsuiForm
    // (through that frame's published Menu property).
    explicit TsuiMainMenu(QWidget* owner = nullptr);

    QWidget* Form() const { return form_; }
    void SetForm(QWidget* form) { form_ = form; }

Q_SIGNALS:
    // Items were added, removed or changed, at any depth: the menu bar must be refreshed.
    void ItemsChanged();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A checked item shows the check-mark image when it has no image of its own.
    QIcon ItemImage(const QStyleOptionMenuItem& item) const override;

private:
    void AttachToForm(QWidget* owner);
    void WatchSubmenus();

    QPointer<QWidget> form_;
};

// The enabled item of the menu, at any depth, whose shortcut is Keys; nullptr when none.
QAction* FindShortcutItem(QMenu* menu, const QKeySequence& keys);

// The shared check-mark image of menu items ("MENU_CHECKED", white transparent).
const QImage& MenuCheckMark();

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TsuiMainMenu*)
