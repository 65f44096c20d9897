#include "MenuBar.h"

#include "ControlAlign.h"
#include "FormFrame.h"
#include "Menus.h"

#include <QActionEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

namespace parvelle {

namespace {

constexpr int kMenuCaptionPadding = 14;   // around a menu bar caption

// One top-level item of the main menu; its text and enabled state follow the item.
class TsuiMenuBarButton : public QToolButton {
public:
    TsuiMenuBarButton(TsuiMenuBar* bar, QAction* item);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void actionEvent(QActionEvent* event) override;

private:
    void DrawHotFace(QPainter& painter, bool pressed);

    TsuiMenuBar* bar_;
};

TsuiMenuBarButton::TsuiMenuBarButton(TsuiMenuBar* bar, QAction* item)
    : QToolButton(bar)
    , bar_(bar)
{
    setDefaultAction(item);
    setText(item->text());
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
}

// The item's own text, hot key marker included (the tool button would drop it).
void TsuiMenuBarButton::actionEvent(QActionEvent* event)
{
    QToolButton::actionEvent(event);
    if (defaultAction())
        setText(defaultAction()->text());
}

QSize TsuiMenuBarButton::sizeHint() const
{
    const int textWidth = fontMetrics().size(Qt::TextShowMnemonic, text()).width();
    return QSize(textWidth + kMenuCaptionPadding, bar_->BarHeight());
}

void TsuiMenuBarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    const bool pressed = isDown() || (menu() && menu()->isVisible());
    if (pressed || underMouse()) {
        DrawHotFace(painter, pressed);
        return;
    }
    const TsuiMainMenu& menu = bar_->Menu();
    const TColor caption = menu.UseSystemFont() ? clMenuText : menu.FontColor();
    painter.setPen(ToQColor(isEnabled() ? caption : clGray));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text());
}

// A hot or pressed button: MacOS's selection bitmap, else the style's selected colours.
void TsuiMenuBarButton::DrawHotFace(QPainter& painter, bool pressed)
{
    const TsuiMainMenu& menu = bar_->Menu();
    QRect captionRect = rect().adjusted(0, 2, 0, 0);
    if (!menu.MacSelectPicture().isNull()) {
        painter.drawImage(rect(), menu.MacSelectPicture());
    } else {
        const QRect face = pressed ? rect().adjusted(0, 0, -2, 0) : rect();
        painter.fillRect(face, ToQColor(ThemeColor(menu.FileTheme(), menu.UIStyle(), ThemeItem::MenuSelectedBackgroundColor)));
        FrameRect(painter, face, ToQColor(ThemeColor(menu.FileTheme(), menu.UIStyle(), ThemeItem::MenuSelectedBorderColor)));
        captionRect = face.adjusted(pressed ? 2 : 0, 2, 0, 0);
    }
    painter.setPen(ToQColor(ThemeColor(menu.FileTheme(), menu.UIStyle(), ThemeItem::MenuSelectedFontColor)));
    painter.drawText(captionRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text());
}

} // namespace

TsuiMenuBar::TsuiMenuBar(TsuiForm* frame)
    : QWidget(frame)
    , frame_(frame)
    , row_(new QHBoxLayout(this))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    row_->setContentsMargins(0, 0, 0, 0);
    row_->setSpacing(0);
    row_->addStretch();
    resize(frame->width(), frame->MenuBarHeight());
    SetControlAlign(this, alTop);
}

const TsuiMainMenu& TsuiMenuBar::Menu() const
{
    return *frame_->Menu();
}

int TsuiMenuBar::BarHeight() const
{
    return frame_->MenuBarHeight();
}

void TsuiMenuBar::Rebuild()
{
    for (QToolButton* button : findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
        delete button;
    const TsuiMainMenu* menu = frame_->Menu();
    if (!menu)
        return;
    int position = 0;
    for (QAction* item : menu->actions()) {
        if (!item->isSeparator() && item->isVisible())
            row_->insertWidget(position++, new TsuiMenuBarButton(this, item));
    }
    UpdateStyle();
}

void TsuiMenuBar::UpdateHeight()
{
    resize(width(), frame_->MenuBarHeight());
    AlignControls(frame_);
}

void TsuiMenuBar::UpdateStyle()
{
    if (const TsuiMainMenu* menu = frame_->Menu())
        setFont(menu->ItemFont());
    update();
}

void TsuiMenuBar::paintEvent(QPaintEvent*)
{
    QPixmap buffer = OffscreenBuffer(this);
    {
        QPainter painter(&buffer);
        const TsuiMainMenu* menu = frame_->Menu();
        if (menu && !menu->MacBarPicture().isNull())
            painter.drawImage(rect(), menu->MacBarPicture());
        else
            painter.fillRect(rect(), ToQColor(frame_->MenuBarColor()));
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

} // namespace parvelle
