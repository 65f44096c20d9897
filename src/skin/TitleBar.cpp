#include "TitleBar.h"

#include "Accessibility.h"
#include "ControlAlign.h"
#include "ErrorDialog.h"
#include "FormFrame.h"
#include "FrameMouse.h"

#include <QApplication>
#include <QPainter>
#include <cmath>

namespace parvelle {

namespace {

constexpr int kTitleButtonSlices = 18;
constexpr int kAppIconSize = 16;
constexpr int kAppIconAdvance = 21;
constexpr int kControlBoxGap = 5;
constexpr int kCaptionLeftWithoutBox = 6;
const QString kEllipsis = QStringLiteral("...");

// First slice (1-based) of the normal, mouse-over and pressed pictures of a button type;
// 0 for a type without pictures.
int FirstSlice(TsuiTitleBarBtnType type, bool maximized)
{
    switch (type) {
    case suiControlBox: return 1;
    case suiHelp: return 4;
    case suiMax: return maximized ? 10 : 7;
    case suiMin: return 13;
    case suiClose: return 16;
    case suiCustom: return 0;
    }
    return 0;
}

} // namespace

// ---- TsuiTitleBarButton ----------------------------------------------------------

TsuiTitleBarButton::TsuiTitleBarButton(TsuiTitleBarButtons* collection)
    : QObject(collection)
    , collection_(collection)
{
}

TsuiTitleBar* TsuiTitleBarButton::TitleBar() const
{
    return collection_->TitleBar();
}

void TsuiTitleBarButton::Changed()
{
    MakeDrawnPictures();
    collection_->Changed();
}

void TsuiTitleBarButton::MakeDrawnPictures()
{
    const auto drawn = [this](const QImage& picture) {
        return transparent_ && !picture.isNull() ? AutoTransparent(picture) : picture;
    };
    drawn_ = {drawn(picNormal_), drawn(picMouseOn_), drawn(picMouseDown_)};
}

void TsuiTitleBarButton::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    LoadPictures();
    Changed();
}

void TsuiTitleBarButton::SetButtonType(TsuiTitleBarBtnType type)
{
    if (type == suiControlBox) {
        for (const TsuiTitleBarButton* button : collection_->List()) {
            if (button->buttonType_ == suiControlBox) {
                ShowErrorDialog(QStringLiteral("Sorry, only one button's ButtonType property can be \"suiControlBox\""));
                return;
            }
        }
    }
    buttonType_ = type;
    LoadPictures();
    Changed();
}

void TsuiTitleBarButton::SetTransparent(bool transparent) { transparent_ = transparent; Changed(); }
void TsuiTitleBarButton::SetTop(int top) { top_ = top; Changed(); }
void TsuiTitleBarButton::SetControlBoxMenu(QMenu* menu) { controlBoxMenu_ = menu; Changed(); }
void TsuiTitleBarButton::SetVisible(bool visible) { visible_ = visible; Changed(); }
void TsuiTitleBarButton::SetPicNormal(const QImage& picture) { picNormal_ = picture; Changed(); }
void TsuiTitleBarButton::SetPicMouseOn(const QImage& picture) { picMouseOn_ = picture; Changed(); }
void TsuiTitleBarButton::SetPicMouseDown(const QImage& picture) { picMouseDown_ = picture; Changed(); }

void TsuiTitleBarButton::LoadPictures()
{
    const TsuiTitleBar* titleBar = TitleBar();
    const TsuiFileTheme* theme = titleBar ? titleBar->FileTheme() : nullptr;
    transparent_ = ThemeBool(theme, uiStyle_, ThemeItem::TitleBarButtonTransparentBool);
    top_ = ThemeInt(theme, uiStyle_, ThemeItem::TitleBarButtonTopInt);
    const QWidget* form = titleBar ? titleBar->Form() : nullptr;
    const bool maximized = form && form->isMaximized() && !(titleBar && titleBar->Custom());
    const int first = FirstSlice(buttonType_, maximized);
    if (first != 0) {
        ThemeBitmap(theme, uiStyle_, ThemeItem::TitleBarButtonImage, picNormal_, first, kTitleButtonSlices);
        ThemeBitmap(theme, uiStyle_, ThemeItem::TitleBarButtonImage, picMouseOn_, first + 1, kTitleButtonSlices);
        ThemeBitmap(theme, uiStyle_, ThemeItem::TitleBarButtonImage, picMouseDown_, first + 2, kTitleButtonSlices);
    }
    MakeDrawnPictures();
}

void TsuiTitleBarButton::ClickButton()
{
    TsuiTitleBar* titleBar = TitleBar();
    QWidget* form = titleBar ? titleBar->Form() : nullptr;
    if (!form)
        return;
    switch (buttonType_) {
    case suiMax:
        if (form->isMaximized()) {
            form->showNormal();
        } else {
            form->showMaximized();
            if (!titleBar->Frame() && !CompositorPlacesWindows())
                form->setGeometry(FormWorkArea(form).adjusted(0, 0, 0, -1));
        }
        titleBar->UpdateMaximizeButtons();
        break;
    case suiMin: form->showMinimized(); break;
    case suiClose: form->close(); break;
    case suiControlBox:
        if (controlBoxMenu_)
            controlBoxMenu_->popup(titleBar->mapToGlobal(QPoint(0, titleBar->height())));
        break;
    case suiHelp:
    case suiCustom: break;   // events only
    }
}

void TsuiTitleBarButton::Assign(const TsuiTitleBarButton& other)
{
    uiStyle_ = other.uiStyle_;
    buttonType_ = other.buttonType_;
    transparent_ = other.transparent_;
    top_ = other.top_;
    controlBoxMenu_ = other.controlBoxMenu_;
    visible_ = other.visible_;
    picNormal_ = other.picNormal_;
    picMouseOn_ = other.picMouseOn_;
    picMouseDown_ = other.picMouseDown_;
    Changed();
}

// ---- TsuiTitleBarSection ---------------------------------------------------------

TsuiTitleBarSection::TsuiTitleBarSection(TsuiTitleBarSections* collection)
    : QObject(collection)
    , collection_(collection)
{
}

void TsuiTitleBarSection::Changed()
{
    collection_->Changed();
}

void TsuiTitleBarSection::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    if (autoSize_ && !picture_.isNull())
        width_ = picture_.width();
    Changed();
}

void TsuiTitleBarSection::SetWidth(int width) { width_ = width; Changed(); }

void TsuiTitleBarSection::SetAlign(TsuiTitleBarAlign align)
{
    if (align == suiClient) {
        for (const TsuiTitleBarSection* section : collection_->List()) {
            if (section->align_ == suiClient) {
                ShowErrorDialog(QStringLiteral("Sorry, only one section's Align property can be \"suiClient\""));
                return;
            }
        }
    }
    align_ = align;
    Changed();
}

void TsuiTitleBarSection::SetPicture(const QImage& picture)
{
    picture_ = picture;
    SetAutoSize(autoSize_);
}

void TsuiTitleBarSection::SetStretch(bool stretch) { stretch_ = stretch; Changed(); }

void TsuiTitleBarSection::Assign(const TsuiTitleBarSection& other)
{
    autoSize_ = other.autoSize_;
    width_ = other.width_;
    align_ = other.align_;
    picture_ = other.picture_;
    stretch_ = other.stretch_;
    Changed();
}

// ---- collections -------------------------------------------------------------------

TsuiTitleBarButtons::TsuiTitleBarButtons(TsuiTitleBar* titleBar, QObject* owner)
    : QObject(owner ? owner : titleBar)
    , titleBar_(titleBar)
{
}

TsuiTitleBarButton* TsuiTitleBarButtons::Add()
{
    items_.append(new TsuiTitleBarButton(this));
    Changed();
    return items_.last();
}

void TsuiTitleBarButtons::Clear()
{
    qDeleteAll(std::exchange(items_, {}));
    Changed();
}

void TsuiTitleBarButtons::Assign(const TsuiTitleBarButtons* other)
{
    if (!other || other == this)
        return;
    Clear();
    for (const TsuiTitleBarButton* button : other->List())
        Add()->Assign(*button);
}

void TsuiTitleBarButtons::Changed()
{
    if (titleBar_)
        titleBar_->update();
}

TsuiTitleBarSections::TsuiTitleBarSections(TsuiTitleBar* titleBar, QObject* owner)
    : QObject(owner ? owner : titleBar)
    , titleBar_(titleBar)
{
}

TsuiTitleBarSection* TsuiTitleBarSections::Add()
{
    items_.append(new TsuiTitleBarSection(this));
    Changed();
    return items_.last();
}

void TsuiTitleBarSections::Clear()
{
    qDeleteAll(std::exchange(items_, {}));
    Changed();
}

void TsuiTitleBarSections::Assign(const TsuiTitleBarSections* other)
{
    if (!other || other == this)
        return;
    Clear();
    for (const TsuiTitleBarSection* section : other->List())
        Add()->Assign(*section);
}

void TsuiTitleBarSections::Changed()
{
    if (titleBar_)
        titleBar_->update();
}

// ---- caption and window region ---------------------------------------------------------

QString FitCaption(const QString& caption, const QFontMetrics& metrics, int space)
{
    if (metrics.horizontalAdvance(caption) <= space)
        return caption;
    if (metrics.horizontalAdvance(kEllipsis) > space)
        return QString();
    QString text = caption;
    while (!text.isEmpty() && metrics.horizontalAdvance(text + kEllipsis) > space)
        text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
    return text + kEllipsis;
}

QRegion RoundedTopRegion(const QSize& client, int corner)
{
    const int w = client.width(), h = client.height();
    const QRegion whole(0, 0, w, h);
    if (corner <= 1)
        return whole;
    // The rounded rectangle reaches one pixel past the client's right and bottom edges.
    const double radius = corner / 2.0;
    QRegion cut;
    for (int y = 0; y < int(std::ceil(radius)); ++y) {
        const double dy = radius - (y + 0.5);
        const double dx = radius * std::sqrt(std::max(0.0, 1.0 - dy * dy / (radius * radius)));
        const int inset = int(std::lround(radius - dx));
        if (inset > 0)
            cut += QRegion(0, y, inset, 1) + QRegion(w + 1 - inset, y, inset, 1);
    }
    const QRegion squares = QRegion(0, h - 2 * corner, 2 * corner, 2 * corner)
        + QRegion(w - 2 * corner, h - 2 * corner, 2 * corner, 2 * corner);
    return whole - (cut - squares);
}

// ---- TsuiTitleBar --------------------------------------------------------------------

TsuiTitleBar::TsuiTitleBar(QWidget* parent)
    : QWidget(parent)
    , sections_(new TsuiTitleBarSections(this))
    , buttons_(new TsuiTitleBarButtons(this))
    , systemMenu_(new TsuiTitleBarPopupMenu(this, this))
{
    InstallSkinAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);   // painted whole from a buffer, never erased
    setMouseTracking(true);
    new FrameMouse(this);
    systemMenuDelay_.setSingleShot(true);
    systemMenuDelay_.setInterval(QApplication::doubleClickInterval());
    connect(&systemMenuDelay_, &QTimer::timeout, this, &TsuiTitleBar::PopupSystemMenu);
    for (TsuiTitleBarBtnType type : {suiControlBox, suiClose, suiMax, suiMin})
        buttons_->Add()->SetButtonType(type);
    SetControlAlign(this, alTop);
    QFont captionFont(QStringLiteral("Tahoma"), 8);
    captionFont.setBold(true);
    setFont(captionFont);
    SetUIStyle(OwnerFormUIStyle(parent));
}

QWidget* TsuiTitleBar::Form() const
{
    QWidget* form = window();
    return form == this ? nullptr : form;
}

TsuiForm* TsuiTitleBar::Frame() const
{
    return qobject_cast<TsuiForm*>(parentWidget());
}

void TsuiTitleBar::SetHeight(int height)
{
    resize(width(), height);
    AlignControls(parentWidget());
}

void TsuiTitleBar::SetFileTheme(TsuiFileTheme* fileTheme)
{
    if (fileTheme_)
        disconnect(fileTheme_, &QObject::destroyed, this, nullptr);
    fileTheme_ = fileTheme;
    if (fileTheme_)
        connect(fileTheme_, &QObject::destroyed, this, &TsuiTitleBar::FileThemeDestroyed);
    keepFontColor_ = true;
    SetUIStyle(uiStyle_);
    keepFontColor_ = false;
}

void TsuiTitleBar::FileThemeDestroyed()
{
    fileTheme_ = nullptr;
    SetUIStyle(DeepBlue);
}

void TsuiTitleBar::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    if (!custom_)
        ApplyStyle();
}

void TsuiTitleBar::ApplyStyle()
{
    TsuiUIStyle effective = uiStyle_;
    FileThemeInUse(fileTheme_, uiStyle_, effective);
    const TsuiFileTheme* theme = fileTheme_;
    auto picture = [&](int item) {
        QImage image;
        ThemeBitmap(theme, uiStyle_, item, image);
        return image;
    };
    sections_->Clear();
    for (auto [align, item] : {std::pair{suiLeft, int(ThemeItem::TitleBarLeftImage)},
                               std::pair{suiRight, int(ThemeItem::TitleBarRightImage)},
                               std::pair{suiClient, int(ThemeItem::TitleBarClientImage)}}) {
        TsuiTitleBarSection* section = sections_->Add();
        section->SetAlign(align);
        section->SetPicture(picture(item));
        section->SetAutoSize(align != suiClient);
    }
    leftBtnXOffset_ = ThemeInt(theme, uiStyle_, ThemeItem::TitleBarButtonLeftOffsetInt);
    rightBtnXOffset_ = ThemeInt(theme, uiStyle_, ThemeItem::TitleBarButtonRightOffsetInt);
    outlineColor_ = ThemeColor(theme, uiStyle_, ThemeItem::FormBorderColor);
    captionBandHeight_ = picture(ThemeItem::TitleBarButtonImage).height();
    captionOffset_ = ThemeInt(theme, uiStyle_, ThemeItem::TitleBarButtonTopInt);
    if (QWidget* form = Form())
        form->setMinimumWidth(ThemeInt(theme, uiStyle_, ThemeItem::FormMinWidthInt));
    roundCorner_ = ThemeInt(theme, uiStyle_, ThemeItem::FormRoundCornerInt);
    for (TsuiTitleBarButton* button : buttons_->List())
        button->SetUIStyle(effective);
    systemMenu_->SetUIStyle(effective);
    systemMenu_->SetFileTheme(fileTheme_);
    ApplyWindowRegion();
    if (!keepFontColor_)
        fontColor_ = uiStyle_ == MacOS ? clBlack : clWhite;
    SetAutoSize(true);
    update();
}

void TsuiTitleBar::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    if (autoSize_ && sections_->Count() > 0 && !sections_->Items(0)->Picture().isNull())
        SetHeight(sections_->Items(0)->Picture().height());
}

void TsuiTitleBar::SetSections(TsuiTitleBarSections* sections) { sections_->Assign(sections); }
void TsuiTitleBar::SetButtons(TsuiTitleBarButtons* buttons) { buttons_->Assign(buttons); }
void TsuiTitleBar::SetButtonInterval(int interval) { buttonInterval_ = interval; update(); }
void TsuiTitleBar::SetFormActive(bool active) { formActive_ = active; update(); }
void TsuiTitleBar::SetLeftBtnXOffset(int offset) { leftBtnXOffset_ = offset; update(); }
void TsuiTitleBar::SetRightBtnXOffset(int offset) { rightBtnXOffset_ = offset; update(); }
void TsuiTitleBar::SetDrawAppIcon(bool draw) { drawAppIcon_ = draw; update(); }

void TsuiTitleBar::SetCaption(const QString& caption)
{
    caption_ = caption;
    AccessibleNameChanged(this);
    update();
}

void TsuiTitleBar::SetRoundCorner(int corner)
{
    roundCorner_ = corner;
    ApplyWindowRegion();
    update();
}

void TsuiTitleBar::UpdateMaximizeButtons()
{
    if (custom_)
        return;
    for (TsuiTitleBarButton* button : buttons_->List()) {
        if (button->ButtonType() == suiMax)
            button->LoadPictures();
    }
    AccessibleTitleButtonsChanged(this);
    update();
}

void TsuiTitleBar::ApplyWindowRegion()
{
    QWidget* form = Form();
    if (!Frame() || !form)
        return;
    if (roundCorner_ > 1)
        form->setMask(RoundedTopRegion(form->size(), roundCorner_));
    else
        form->clearMask();
    Frame()->KeepToShape();
}

void TsuiTitleBar::PopupSystemMenu()
{
    const QPoint at = mapToGlobal(QPoint(0, height()));
    systemMenu_->Popup(at.x(), at.y());
}

bool TsuiTitleBar::HasButton(TsuiTitleBarBtnType type) const
{
    const auto& list = buttons_->List();
    return std::any_of(list.begin(), list.end(), [type](auto* b) { return b->ButtonType() == type; });
}

void TsuiTitleBar::MinimizeForm()
{
    if (QWidget* form = Form())
        form->showMinimized();
}

void TsuiTitleBar::ClickMaximizeButtons()
{
    for (TsuiTitleBarButton* button : buttons_->List()) {
        if (button->ButtonType() == suiMax)
            button->ClickButton();
    }
}

void TsuiTitleBar::CloseForm()
{
    if (QWidget* form = Form())
        form->close();
}

// ---- layout and painting ----------------------------------------------------------------

int TitleBarLayout::buttonAt(const QPoint& position) const
{
    if (controlBox >= 0 && PointInRect(position, buttons[controlBox]))
        return controlBox;
    for (qsizetype i = buttons.size() - 1; i >= 0; --i) {
        if (!buttons[i].isNull() && PointInRect(position, buttons[i]))
            return int(i);
    }
    return -1;
}

TitleBarLayout TsuiTitleBar::Arrange(int width) const
{
    TitleBarLayout layout;
    const auto& buttons = buttons_->List();
    layout.buttons.resize(buttons.size());
    int xr = width + rightBtnXOffset_ + 1;
    for (int i = 0; i < buttons.size(); ++i) {
        const TsuiTitleBarButton* button = buttons[i];
        if (!button->Visible())
            continue;
        if (button->ButtonType() == suiControlBox) {
            layout.controlBox = i;
            continue;
        }
        const QSize size = button->PicNormal().size();
        xr -= size.width() + buttonInterval_ + 1;
        layout.buttons[i] = QRect(QPoint(xr, button->Top()), size);
    }
    int xl = leftBtnXOffset_;
    if (layout.controlBox >= 0) {
        const TsuiTitleBarButton* box = buttons[layout.controlBox];
        const QSize size = box->PicNormal().size();
        layout.buttons[layout.controlBox] = QRect(QPoint(xl, box->Top()), size);
        if (drawAppIcon_) {
            layout.icon = QRect(xl + 3, box->Top(), kAppIconSize, kAppIconSize);
            xl += kAppIconAdvance;
        } else {
            xl += size.width() + kControlBoxGap;
        }
    }
    if (xl == 0)
        xl = kCaptionLeftWithoutBox;
    layout.captionLeft = xl;
    layout.captionRight = xr;
    return layout;
}

QString TsuiTitleBar::FittedCaption(const TitleBarLayout& layout) const
{
    return FitCaption(caption_, fontMetrics(), layout.captionRight - layout.captionLeft);
}

TColor TsuiTitleBar::CaptionColor() const
{
    return formActive_ ? fontColor_ : kInactiveCaptionColor;
}

int TsuiTitleBar::CaptionTop() const
{
    return (captionBandHeight_ - fontMetrics().height()) / 2 + captionOffset_;
}

void TsuiTitleBar::DrawSections(QPainter& buffer, const QSize& size)
{
    const int h = size.height();
    auto draw = [&buffer](const TsuiTitleBarSection& section, const QRect& rect) {
        if (section.Stretch() || section.Align() == suiClient) {
            buffer.drawImage(rect, section.Picture());
        } else {
            buffer.save();
            buffer.setClipRect(rect);
            buffer.drawImage(rect.topLeft(), section.Picture());
            buffer.restore();
        }
    };
    int xl = -1, xr = size.width() + 1;
    const TsuiTitleBarSection* client = nullptr;
    for (const TsuiTitleBarSection* section : sections_->List()) {
        const int w = section->Width();
        switch (section->Align()) {
        case suiLeft:
            draw(*section, RectLTRB(xl + 1, 0, xl + w + 1, h));
            xl += w;
            break;
        case suiRight:
            if (size.width() - xl >= w) {
                draw(*section, RectLTRB(xr - w - 1, 0, xr - 1, h));
                xr -= w;
            }
            break;
        case suiClient: client = section; break;
        }
    }
    if (client)
        draw(*client, RectLTRB(xl + 1, 0, xr - 1, h));
}

void TsuiTitleBar::DrawButtonPicture(QPainter& buffer, const TsuiTitleBarButton& button,
                                     const QRect& rect, bool hot)
{
    const QImage& picture = button.Drawn(!hot                   ? TsuiTitleBarButton::Normal
                                         : buttonDown_          ? TsuiTitleBarButton::MouseDown
                                                                : TsuiTitleBarButton::MouseOn);
    if (picture.isNull())
        return;   // a missing picture leaves the slot blank
    buffer.drawImage(rect.topLeft(), picture, QRect(QPoint(0, 0), rect.size()));
}

void TsuiTitleBar::DrawButtons(QPainter& buffer, const QSize& size)
{
    const TitleBarLayout layout = Arrange(size.width());
    const auto& buttons = buttons_->List();
    for (int i = 0; i < buttons.size(); ++i) {
        if (layout.buttons[i].isNull() || (i == layout.controlBox && drawAppIcon_))
            continue;
        DrawButtonPicture(buffer, *buttons[i], layout.buttons[i], i == hotIndex_);
    }
    if (!layout.icon.isNull())
        // The icon's picture for the screen's pixel density (32 pixels at 2x).
        buffer.drawPixmap(layout.icon.topLeft(),
                          appIcon_.pixmap(QSize(kAppIconSize, kAppIconSize), buffer.device()->devicePixelRatioF()));
    DrawCaption(buffer, layout);
}

void TsuiTitleBar::DrawCaption(QPainter& buffer, const TitleBarLayout& layout)
{
    const QString text = FittedCaption(layout);
    if (text.isEmpty())
        return;
    buffer.setPen(ToQColor(CaptionColor()));
    const QFontMetrics metrics = fontMetrics();
    buffer.drawText(QRect(layout.captionLeft, CaptionTop(), metrics.horizontalAdvance(text) + 1, metrics.height()),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void TsuiTitleBar::DrawRoundOutline(QPainter& buffer, const QSize& size)
{
    if (uiStyle_ == WinXP || roundCorner_ == 0 || !Frame())
        return;
    buffer.save();
    buffer.setPen(ToQColor(outlineColor_));
    buffer.setBrush(Qt::NoBrush);
    buffer.drawRoundedRect(RectLTRB(-1, 0, size.width() + 1, size.height() + 50),
                           (roundCorner_ + 1) / 2.0, roundCorner_ / 2.0);
    buffer.restore();
}

void TsuiTitleBar::paintEvent(QPaintEvent*)
{
    QPixmap buffer = OffscreenBuffer(this);
    buffer.fill(ToQColor(outlineColor_));   // under sections that leave a gap
    {
        QPainter painter(&buffer);
        painter.setFont(font());
        DrawSections(painter, size());
        DrawButtons(painter, size());
        DrawRoundOutline(painter, size());
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

// ---- clicks ----------------------------------------------------------------------------------

void TsuiTitleBar::SetHotButton(int index, bool down)
{
    if (index == hotIndex_ && down == buttonDown_)
        return;
    hotIndex_ = index;
    buttonDown_ = down;
    update();
}

void TsuiTitleBar::ClickButton(int index)
{
    TsuiTitleBarButton* button = buttons_->Items(index);
    if (!button)
        return;
    if (button->ButtonType() == suiControlBox && !button->ControlBoxMenu()) {
        systemMenuDelay_.start();
        return;
    }
    button->ClickButton();
    if (button->ButtonType() == suiCustom)
        Q_EMIT OnCustomBtnsClick(this, index);
    else if (button->ButtonType() == suiHelp)
        Q_EMIT OnHelpBtnClick(this, index);
}

void TsuiTitleBar::DoubleClickButton(int index)
{
    systemMenuDelay_.stop();
    if (index >= 0) {
        if (index == Arrange(width()).controlBox)
            CloseForm();
        return;
    }
    for (TsuiTitleBarButton* button : buttons_->List()) {
        if (button->ButtonType() == suiMax) {
            button->ClickButton();
            return;
        }
    }
}

} // namespace parvelle
