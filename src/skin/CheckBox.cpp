#include "CheckBox.h"

#include "Accessibility.h"

#include "ButtonPaint.h"


#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace parvelle {

namespace {

constexpr int kCaptionFlags = Qt::TextSingleLine | Qt::TextShowMnemonic;

int LineHeight(const QFont& font)
{
    return QFontMetrics(font).height();
}

} // namespace

int CheckBoxGlyphSlice(bool checked, bool enabled)
{
    return (checked ? 1 : 2) + (enabled ? 0 : 2);
}

QSize CheckBoxAutoSize(const QFont& font, const QString& caption, QSize glyph)
{
    const int textWidth = QFontMetrics(font).size(kCaptionFlags, caption).width();
    return QSize(glyph.width() + textWidth + 8, std::max(LineHeight(font) + 2, glyph.height()) + 4);
}

void PaintCheckBox(QPainter& canvas, const CheckBoxLook& look, const QImage& glyph)
{
    const int H = look.size.height(), W = look.size.width();
    if (!glyph.isNull())
        canvas.drawImage(1, (H - glyph.height()) / 2, glyph);
    const int lineHeight = LineHeight(look.font);
    const int L = glyph.width() + 4;
    const int T = (H - lineHeight) / 2;
    canvas.setFont(look.font);
    canvas.setPen(look.textColor);
    canvas.drawText(RectLTRB(L, T, W, H), kCaptionFlags | Qt::AlignLeft | Qt::AlignTop, look.caption);
    if (look.focused)
        DrawFocusRectangle(canvas, RectLTRB(L - 1, T, W, T + lineHeight + 2));
}

TsuiCheckBox::TsuiCheckBox(QWidget* parent)
    : QWidget(parent)
{
    InstallSkinAccessibility();
    // Every paint covers the whole box from an off-screen buffer; nothing is erased.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus);
    resize(93, 17);
    uiStyle_ = OwnerFormUIStyle(parent ? parent->window() : nullptr);
    LoadGlyphs();
}

void TsuiCheckBox::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    LoadGlyphs();
    UpdateAutoSize();
    repaint();
}

void TsuiCheckBox::SetFileTheme(TsuiFileTheme* fileTheme)
{
    fileTheme_.set(fileTheme, this, [this] { SetUIStyle(DeepBlue); });
    SetUIStyle(uiStyle_);
}

void TsuiCheckBox::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    UpdateAutoSize();
    repaint();
}

void TsuiCheckBox::SetChecked(bool checked)
{
    if (checked == checked_)
        return;
    checked_ = checked;
    repaint();
    AccessibleCheckedChanged(this);
    Q_EMIT OnClick();
}

void TsuiCheckBox::SetCaption(const QString& caption)
{
    caption_ = caption;
    shortcutId_ = GrabAccelerator(this, shortcutId_, caption);
    AccessibleNameChanged(this);
    UpdateAutoSize();
    repaint();
}

void TsuiCheckBox::SetTabStop(bool tabStop)
{
    setFocusPolicy(tabStop ? Qt::TabFocus : Qt::NoFocus);
    repaint();
}

void TsuiCheckBox::SetTransparent(bool transparent)
{
    transparent_ = transparent;
    repaint();
}

void TsuiCheckBox::Click()
{
    if (TabStop() && isEnabled() && isVisible())
        setFocus(Qt::MouseFocusReason);
    SetChecked(!checked_);
}

void TsuiCheckBox::LoadGlyphs()
{
    for (int i = 0; i < 4; ++i) {
        glyphs_[i] = QImage();
        ThemeBitmap(FileTheme(), uiStyle_, ThemeItem::CheckBoxImage, glyphs_[i], i + 1, 4);
    }
}

// Follows the caption, the font and the glyph size as they change.
void TsuiCheckBox::UpdateAutoSize()
{
    if (autoSize_)
        resize(CheckBoxAutoSize(font(), caption_, glyphs_[0].size()));
}

CheckBoxLook TsuiCheckBox::Look() const
{
    CheckBoxLook look;
    look.size = size();
    look.checked = checked_;
    look.enabled = isEnabled();
    look.focused = TabStop() && hasFocus();
    look.caption = caption_;
    look.font = font();
    look.textColor = palette().color(QPalette::Active, QPalette::WindowText);
    return look;
}

void TsuiCheckBox::paintEvent(QPaintEvent*)
{
    QPixmap buffer = OffscreenBuffer(this);
    buffer.fill(palette().color(QPalette::Window));
    {
        QPainter painter(&buffer);
        if (transparent_)
            PaintParentBackground(painter, this);
        const CheckBoxLook look = Look();
        PaintCheckBox(painter, look, glyphs_[CheckBoxGlyphSlice(look.checked, look.enabled) - 1]);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

// A double click arrives as a second press (QWidget's default), so it toggles twice.
void TsuiCheckBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        leftDown_ = true;
}

void TsuiCheckBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = leftDown_ && rect().contains(event->position().toPoint());
    leftDown_ = false;
    if (click)
        Click();
}

// Space and Enter belong to the focused box: they toggle it on release (of a key pressed
// here, not one whose press moved the focus here) and do not reach the default button.
void TsuiCheckBox::keyPressEvent(QKeyEvent* event)
{
    if (!IsActivationKey(event->key())) {
        QWidget::keyPressEvent(event);
        return;
    }
    keyDown_ = true;
}

void TsuiCheckBox::keyReleaseEvent(QKeyEvent* event)
{
    if (!IsActivationKey(event->key()) || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    const bool click = keyDown_ && hasFocus() && isEnabled();
    keyDown_ = false;
    if (click)
        Click();
}

void TsuiCheckBox::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    repaint();
}

void TsuiCheckBox::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    keyDown_ = false;
    repaint();
}

void TsuiCheckBox::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        UpdateAutoSize();
    if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange)
        repaint();
}

bool TsuiCheckBox::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        if (isEnabled())
            Click();
        return true;
    }
    return QWidget::event(event);
}

} // namespace parvelle
