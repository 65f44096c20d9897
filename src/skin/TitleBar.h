#pragma once
// The skinned title bar: sections of theme bitmaps across the top of a skinned frame, the
// title bar buttons (control box, close, maximise, minimise, help, custom), the application
// icon and the caption, painted in one block from an off-screen buffer.
#include "SystemMenu.h"
#include "ThemeCatalogue.h"
#include "ThemeFile.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>

class QFontMetrics;

namespace parvelle {

enum TsuiTitleBarAlign : uint8_t { suiLeft = 0, suiRight = 1, suiClient = 2 };

class TsuiForm;
class TsuiTitleBar;
class TsuiTitleBarButtons;
class TsuiTitleBarSections;

class TsuiTitleBarButton : public QObject {
    Q_OBJECT
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(parvelle::TsuiTitleBarBtnType ButtonType READ ButtonType WRITE SetButtonType)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(int Top READ Top WRITE SetTop)
    Q_PROPERTY(QMenu* ControlBoxMenu READ ControlBoxMenu WRITE SetControlBoxMenu)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(QImage PicNormal READ PicNormal WRITE SetPicNormal)
    Q_PROPERTY(QImage PicMouseOn READ PicMouseOn WRITE SetPicMouseOn)
    Q_PROPERTY(QImage PicMouseDown READ PicMouseDown WRITE SetPicMouseDown)

public:
    // Visible, suiCustom, not transparent, Top 2, DeepBlue, no control box menu.
    explicit TsuiTitleBarButton(TsuiTitleBarButtons* collection);

    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle style);   // reloads the pictures
    TsuiTitleBarBtnType ButtonType() const { return buttonType_; }
    // Reloads the pictures. A second control box in the collection is refused with an
    // error dialog.
    void SetButtonType(TsuiTitleBarBtnType type);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);
    int Top() const { return top_; }
    void SetTop(int top);
    QMenu* ControlBoxMenu() const { return controlBoxMenu_; }
    void SetControlBoxMenu(QMenu* menu);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    const QImage& PicNormal() const { return picNormal_; }
    void SetPicNormal(const QImage& picture);
    const QImage& PicMouseOn() const { return picMouseOn_; }
    void SetPicMouseOn(const QImage& picture);
    const QImage& PicMouseDown() const { return picMouseDown_; }
    void SetPicMouseDown(const QImage& picture);

    // The picture of a state as the title bar draws it: with its corner colour made
    // transparent when Transparent. Made when a picture or Transparent changes.
    enum State { Normal, MouseOn, MouseDown };
    const QImage& Drawn(State state) const { return drawn_[state]; }

    // The button's action on its title bar's form; nothing without one.
    void ClickButton();
    // The theme's pictures for the type (the maximise glyph for the form's state).
    void LoadPictures();
    void Assign(const TsuiTitleBarButton& other);
    TsuiTitleBar* TitleBar() const;

private:
    void Changed();
    void MakeDrawnPictures();

    TsuiTitleBarButtons* collection_;
    TsuiUIStyle uiStyle_ = DeepBlue;
    TsuiTitleBarBtnType buttonType_ = suiCustom;
    bool transparent_ = false;
    int top_ = 2;
    QPointer<QMenu> controlBoxMenu_;
    bool visible_ = true;
    QImage picNormal_, picMouseOn_, picMouseDown_;
    std::array<QImage, 3> drawn_;
};

class TsuiTitleBarSection : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(parvelle::TsuiTitleBarAlign Align READ Align WRITE SetAlign)
    Q_PROPERTY(QImage Picture READ Picture WRITE SetPicture)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)

public:
    // Width 10, suiLeft, not stretched.
    explicit TsuiTitleBarSection(TsuiTitleBarSections* collection);

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);   // with AutoSize the width follows the picture
    int Width() const { return width_; }
    void SetWidth(int width);
    TsuiTitleBarAlign Align() const { return align_; }
    // A second client section in the collection is refused with an error dialog.
    void SetAlign(TsuiTitleBarAlign align);
    const QImage& Picture() const { return picture_; }
    void SetPicture(const QImage& picture);
    bool Stretch() const { return stretch_; }   // a client section is stretched anyway
    void SetStretch(bool stretch);

    void Assign(const TsuiTitleBarSection& other);

private:
    void Changed();

    TsuiTitleBarSections* collection_;
    bool autoSize_ = false;
    int width_ = 10;
    TsuiTitleBarAlign align_ = suiLeft;
    QImage picture_;
    bool stretch_ = false;
};

// An ordered collection of title bar items; any change repaints its title bar. A collection
// without a title bar holds items for copying into one.
template <typename Item>
class TitleBarCollection {
public:
    int Count() const { return int(items_.size()); }
    Item* Items(int index) const { return items_.value(index); }
    const QList<Item*>& List() const { return items_; }

protected:
    QList<Item*> items_;
};

class TsuiTitleBarButtons : public QObject, public TitleBarCollection<TsuiTitleBarButton> {
    Q_OBJECT
public:
    explicit TsuiTitleBarButtons(TsuiTitleBar* titleBar = nullptr, QObject* owner = nullptr);
    TsuiTitleBarButton* Add();
    void Clear();
    void Assign(const TsuiTitleBarButtons* other);   // copies the other's buttons
    TsuiTitleBar* TitleBar() const { return titleBar_; }
    void Changed();

private:
    TsuiTitleBar* titleBar_;
};

class TsuiTitleBarSections : public QObject, public TitleBarCollection<TsuiTitleBarSection> {
    Q_OBJECT
public:
    explicit TsuiTitleBarSections(TsuiTitleBar* titleBar = nullptr, QObject* owner = nullptr);
    TsuiTitleBarSection* Add();
    void Clear();
    void Assign(const TsuiTitleBarSections* other);
    TsuiTitleBar* TitleBar() const { return titleBar_; }
    void Changed();

private:
    TsuiTitleBar* titleBar_;
};

// The caption as it fits Space pixels: unchanged when it fits, else cut at its end with
// "..." appended; empty when not even "..." fits.
QString FitCaption(const QString& caption, const QFontMetrics& metrics, int space);

// Where the buttons, the icon and the caption of a title bar go.
struct TitleBarLayout {
    QList<QRect> buttons;   // one per button in collection order; empty when not shown
    int controlBox = -1;    // the control box's index, -1 = none shown
    QRect icon;             // the application icon, empty without it
    int captionLeft = 0;    // the caption's space: from captionLeft up to captionRight
    int captionRight = 0;

    // The button at Position (far edges included), -1 = none; the control box first.
    int buttonAt(const QPoint& position) const;
};

class TsuiTitleBar : public QWidget, public TsuiTitleBarCommands {
    Q_OBJECT
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(bool Custom READ Custom WRITE SetCustom)
    Q_PROPERTY(parvelle::TsuiFileTheme* FileTheme READ FileTheme WRITE SetFileTheme)
    Q_PROPERTY(parvelle::TsuiUIStyle UIStyle READ UIStyle WRITE SetUIStyle)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(Qt::LayoutDirection BiDiMode READ layoutDirection WRITE setLayoutDirection)
    Q_PROPERTY(parvelle::TsuiTitleBarSections* Sections READ Sections WRITE SetSections)
    Q_PROPERTY(parvelle::TsuiTitleBarButtons* Buttons READ Buttons WRITE SetButtons)
    Q_PROPERTY(int ButtonInterval READ ButtonInterval WRITE SetButtonInterval)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QFont Font READ font WRITE setFont)
    Q_PROPERTY(bool FormActive READ FormActive WRITE SetFormActive)
    Q_PROPERTY(int LeftBtnXOffset READ LeftBtnXOffset WRITE SetLeftBtnXOffset)
    Q_PROPERTY(int RightBtnXOffset READ RightBtnXOffset WRITE SetRightBtnXOffset)
    Q_PROPERTY(bool DrawAppIcon READ DrawAppIcon WRITE SetDrawAppIcon)
    Q_PROPERTY(int RoundCorner READ RoundCorner WRITE SetRoundCorner)

public:
    // Buttons control box, close, maximise, minimise; Tahoma bold in white; aligned to the
    // top of its parent; the owner form's style.
    explicit TsuiTitleBar(QWidget* parent);

    int Height() const { return height(); }
    void SetHeight(int height);
    bool Custom() const { return custom_; }
    void SetCustom(bool custom) { custom_ = custom; }
    TsuiFileTheme* FileTheme() const { return fileTheme_; }
    // Stores it and applies the style again, keeping the caption colour.
    void SetFileTheme(TsuiFileTheme* fileTheme);
    TsuiUIStyle UIStyle() const { return uiStyle_; }
    void SetUIStyle(TsuiUIStyle style);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool autoSize);   // height := the first section's picture height
    TsuiTitleBarSections* Sections() const { return sections_; }
    void SetSections(TsuiTitleBarSections* sections);
    TsuiTitleBarButtons* Buttons() const { return buttons_; }
    void SetButtons(TsuiTitleBarButtons* buttons);
    int ButtonInterval() const { return buttonInterval_; }
    void SetButtonInterval(int interval);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool FormActive() const { return formActive_; }
    void SetFormActive(bool active);
    int LeftBtnXOffset() const { return leftBtnXOffset_; }
    void SetLeftBtnXOffset(int offset);
    int RightBtnXOffset() const { return rightBtnXOffset_; }
    void SetRightBtnXOffset(int offset);
    bool DrawAppIcon() const { return drawAppIcon_; }
    void SetDrawAppIcon(bool draw);
    int RoundCorner() const { return roundCorner_; }
    void SetRoundCorner(int corner);

    // Caption colour while the form is active (the font's colour, set by the style).
    TColor FontColor() const { return fontColor_; }

    TsuiTitleBarPopupMenu* SystemMenu() const { return systemMenu_; }
    // The form the title bar belongs to (its window); nullptr while it has none.
    QWidget* Form() const;
    // The skinned frame the title bar sits on, if it does.
    TsuiForm* Frame() const;
    // Every maximise button takes the glyph of the form's state.
    void UpdateMaximizeButtons();
    // Rounded top corners of the frame's form (only on a skinned frame).
    void ApplyWindowRegion();
    // The system menu at the title bar's bottom-left corner.
    void PopupSystemMenu();
    // Where everything goes at this width.
    TitleBarLayout Arrange(int width) const;
    // The caption as drawn in the space the layout leaves.
    QString FittedCaption(const TitleBarLayout& layout) const;
    // The caption's colour: the font's while the form is active, else kInactiveCaptionColor.
    TColor CaptionColor() const;
    int CaptionTop() const;   // y of the caption's top

    // The button under the pointer (-1 = none) and whether the left button went down on a
    // button and is held, as the mouse left them; the paint shows them.
    int HotButton() const { return hotIndex_; }
    bool ButtonDown() const { return buttonDown_; }
    void SetHotButton(int index, bool down);
    // A click released on the button at Index (-1 = none): its action and signal; the
    // control box opens the system menu once no second click follows.
    void ClickButton(int index);
    // A double click on the button at Index: the control box closes the form, the empty
    // title bar (-1) clicks the first maximise button.
    void DoubleClickButton(int index);

    // TsuiTitleBarCommands, for the system menu.
    bool HasButton(TsuiTitleBarBtnType type) const override;
    void MinimizeForm() override;
    void ClickMaximizeButtons() override;
    void CloseForm() override;

Q_SIGNALS:
    void OnCustomBtnsClick(QObject* sender, int buttonIndex);
    void OnHelpBtnClick(QObject* sender, int buttonIndex);

protected:
    void paintEvent(QPaintEvent* event) override;
    virtual void DrawSections(QPainter& buffer, const QSize& size);
    virtual void DrawButtons(QPainter& buffer, const QSize& size);

private:
    void ApplyStyle();
    void DrawRoundOutline(QPainter& buffer, const QSize& size);
    void DrawButtonPicture(QPainter& buffer, const TsuiTitleBarButton& button, const QRect& rect,
                           bool hot);
    void DrawCaption(QPainter& buffer, const TitleBarLayout& layout);
    void FileThemeDestroyed();

    bool custom_ = false;
    QPointer<TsuiFileTheme> fileTheme_;
    TsuiUIStyle uiStyle_ = DeepBlue;
    bool autoSize_ = false;
    TsuiTitleBarSections* sections_;
    TsuiTitleBarButtons* buttons_;
    int buttonInterval_ = 0;
    QString caption_;
    bool formActive_ = true;
    int leftBtnXOffset_ = 0;
    int rightBtnXOffset_ = 0;
    bool drawAppIcon_ = false;
    int roundCorner_ = 0;
    TColor fontColor_ = clWhite;
    TsuiTitleBarPopupMenu* systemMenu_;
    const QIcon appIcon_ = ApplicationIcon();   // decoded once, drawn at the screen's density
    int hotIndex_ = -1;
    bool buttonDown_ = false;
    TColor outlineColor_ = clBlack;
    int captionBandHeight_ = 0;
    int captionOffset_ = 0;
    bool keepFontColor_ = false;
    // A click on the control box opens the system menu once no second click follows, so a
    // double click can close the form.
    QTimer systemMenuDelay_;
};

// Windows XP's default inactive caption colour (122, 150, 223): the desktop offers no
// inactive-caption colour of its own, so the caption of an inactive form is drawn in it.
constexpr TColor kInactiveCaptionColor = 0xDF967A;

// The window region of a form with rounded top corners: its client rectangle with top
// corners rounded by an ellipse of Corner x Corner; the bottom corners stay square.
QRegion RoundedTopRegion(const QSize& client, int corner);

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TsuiTitleBarAlign)
