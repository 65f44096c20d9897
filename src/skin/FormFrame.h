#pragma once
// The skinned frame of a form: TsuiForm turns its form into a frameless window and supplies
// what the system frame did, drawn from the skin: the border strips, the title bar with its
// buttons and system menu, moving and resizing through the window manager, maximising to
// the work area, rounded top corners, and a menu bar built from a skinned main menu.
#include "Menus.h"
#include "TitleBar.h"

#include <QImage>

#include <QPointer>
#include <QWidget>

class QToolButton;

namespace parvelle {

// Raised when a skinned frame cannot be created.
class ESkinError : public EParvelleError {
    using EParvelleError::EParvelleError;
};

// The form's border as it was when its frame was created.
enum TFormBorderStyle : uint8_t { bsNone = 0, bsSingle, bsSizeable };

class TsuiMenuBar;

class TsuiForm : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(bool TitleBarCustom READ TitleBarCustom WRITE SetTitleBarCustom)
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(bool UIStyleAutoUpdateSub READ UIStyleAutoUpdateSub WRITE SetUIStyleAutoUpdateSub)
    Q_PROPERTY(uint BorderColor READ BorderColor WRITE SetBorderColor)
    Q_PROPERTY(int BorderWidth READ BorderWidth WRITE SetBorderWidth)
    Q_PROPERTY(bool TitleBarVisible READ TitleBarVisible WRITE SetTitleBarVisible)
    Q_PROPERTY(Qt::LayoutDirection BiDiMode READ layoutDirection WRITE setLayoutDirection)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QWidget* FormPanel READ FormPanel WRITE SetFormPanel)
    Q_PROPERTY(parvelle::TsuiTitleBarButtons* TitleBarButtons READ TitleBarButtons WRITE SetTitleBarButtons)
    Q_PROPERTY(parvelle::TsuiTitleBarSections* TitleBarSections READ TitleBarSections WRITE SetTitleBarSections)
    Q_PROPERTY(bool TitleBarDrawAppIcon READ TitleBarDrawAppIcon WRITE SetTitleBarDrawAppIcon)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(parvelle::TsuiMainMenu* Menu READ Menu WRITE SetMenu)
    Q_PROPERTY(uint MenuBarColor READ MenuBarColor WRITE SetMenuBarColor)
    Q_PROPERTY(int MenuBarHeight READ MenuBarHeight WRITE SetMenuBarHeight)
    Q_PROPERTY(int RoundCorner READ RoundCorner WRITE SetRoundCorner)
    Q_PROPERTY(QMenu* PopupMenu READ PopupMenu WRITE SetPopupMenu)
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)

public:
    // Frames Form, which becomes a frameless window. ESkinError "Sorry, You can create only
    // one TsuiForm component in one form!" when Form already has a frame.
    explicit TsuiForm(QWidget* form);
    ~TsuiForm() override;

    int Width() const { return width(); }
    void SetWidth(int width);     // the form's width := Width + 2 x BorderWidth
    int Height() const { return height(); }
    // The form's height := Height + BorderWidth + BorderWidth div 2, so writing the frame's
    // own height back grows the form by BorderWidth div 2.
    void SetHeight(int height);
    bool TitleBarCustom() const { return titleBar_->Custom(); }
    void SetTitleBarCustom(bool custom) { titleBar_->SetCustom(custom); }
    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    void SetFileTheme(TsuiFileTheme* fileTheme);
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle style);
    bool UIStyleAutoUpdateSub() const { return uiStyleAutoUpdateSub_; }
    void SetUIStyleAutoUpdateSub(bool update) { uiStyleAutoUpdateSub_ = update; }
    TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(TColor color);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);   // the form's size is written again from Width and Height
    bool TitleBarVisible() const { return !titleBar_->isHidden(); }
    void SetTitleBarVisible(bool visible);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    QString Caption() const { return titleBar_->Caption(); }
    void SetCaption(const QString& caption);   // also the form's window title
    QWidget* FormPanel() const { return formPanel_; }
    void SetFormPanel(QWidget* panel);
    TsuiTitleBarButtons* TitleBarButtons() const { return titleBar_->Buttons(); }
    void SetTitleBarButtons(TsuiTitleBarButtons* buttons) { titleBar_->SetButtons(buttons); }
    TsuiTitleBarSections* TitleBarSections() const { return titleBar_->Sections(); }
    void SetTitleBarSections(TsuiTitleBarSections* sections) { titleBar_->SetSections(sections); }
    bool TitleBarDrawAppIcon() const { return titleBar_->DrawAppIcon(); }
    void SetTitleBarDrawAppIcon(bool draw) { titleBar_->SetDrawAppIcon(draw); }
    QFont Font() const { return titleBar_->font(); }
    void SetFont(const QFont& font) { titleBar_->setFont(font); }
    TsuiMainMenu* Menu() const { return menu_; }
    void SetMenu(TsuiMainMenu* menu);
    TColor MenuBarColor() const { return menuBarColor_; }
    void SetMenuBarColor(TColor color);
    int MenuBarHeight() const { return menuBarHeight_; }
    void SetMenuBarHeight(int height);
    int RoundCorner() const { return titleBar_->RoundCorner(); }
    void SetRoundCorner(int corner);
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
    QString Version() const { return QStringLiteral("4.30"); }
    void SetVersion(const QString&) {}   // read-only in effect

    QWidget* Form() const { return form_; }
    TsuiTitleBar* TitleBar() const { return titleBar_; }
    QWidget* MenuBar() const;   // nullptr without a menu
    bool InitialSizeable() const { return initialBorder_ == bsSizeable; }
    bool IsMdiChild() const;

    // Places the frame in the form's client area and its children inside it.
    void LayoutFrame();
    // The frame and its border paint nothing outside the form's shape.
    void KeepToShape();
    // The resize zone of the form under a cursor given in screen coordinates.
    int HitTest(const QPoint& cursor) const;

Q_SIGNALS:
    void OnTitleBarCustomBtnsClick(QObject* sender, int buttonIndex);
    void OnTitleBarHelpBtnClick(QObject* sender, int buttonIndex);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Border;
    class MessageHook;

    static QWidget* RequireNoFrame(QWidget* form);
    void ApplyStyle();
    void Sizing(bool resized);
    // The border's strips on the form: left, bottom, right, and the top while the title
    // bar is hidden.
    QList<QRect> BorderStrips() const;
    bool MenuTakesShortcut(const QKeyEvent* event) const;
    void FileThemeDestroyed();
    void MenuDestroyed();

    QWidget* form_;
    QPointer<Border> border_;   // a child of the form, which may delete it first
    TsuiTitleBar* titleBar_;
    TsuiMenuBar* menuBar_ = nullptr;
    QPointer<TsuiFileTheme> fileTheme_;
    TsuiUIStyle uiStyle_ = DeepBlue;
    bool uiStyleAutoUpdateSub_ = false;
    TColor borderColor_ = clBlack;
    int borderWidth_ = 1;
    TColor color_ = clBtnFace;
    QImage backgroundTile_;   // the style's tiled background; null where it fills with Color
    QPointer<QWidget> formPanel_;
    QPointer<TsuiMainMenu> menu_;
    TColor menuBarColor_ = clBtnFace;
    int menuBarHeight_ = 22;
    QPointer<QMenu> popupMenu_;
    TFormBorderStyle initialBorder_ = bsSizeable;
    QRect startBounds_;
    bool wasMaximized_ = false;
    MessageHook* messageHook_ = nullptr;   // set when this frame installed the hook
};

// The form as its window shows it, in device pixels: pixels outside its window region are
// transparent.
QImage WindowImage(QWidget& form);

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TsuiForm*)
