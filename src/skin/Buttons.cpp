#include "Buttons.h"

#include "Accessibility.h"



#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace parvelle {

TsuiCustomButton::TsuiCustomButton(QWidget* parent)
    : QWidget(parent)
{
    InstallSkinAccessibility();
    // Every paint covers the whole button from an off-screen buffer; nothing is erased.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::TabFocus);
    resize(80, 27);
    uiStyle_ = OwnerFormUIStyle(parent ? parent->window() : nullptr);
}

TsuiCustomButton::~TsuiCustomButton()
{
    if (watchedWindow_)
        watchedWindow_->removeEventFilter(this);
}

void TsuiCustomButton::SetFileTheme(TsuiFileTheme* fileTheme)
{
    fileTheme_.set(fileTheme, this, [this] { SetUIStyle(DeepBlue); });
    SetUIStyle(uiStyle_);
}

void TsuiCustomButton::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    UIStyleChanged();
    Changed();
}

void TsuiCustomButton::SetCancel(bool cancel)
{
    cancel_ = cancel;
    Changed();
}

void TsuiCustomButton::SetDefault(bool value)
{
    default_ = value;
    Changed();
}

void TsuiCustomButton::SetCaption(const QString& caption)
{
    caption_ = caption;
    shortcutId_ = GrabAccelerator(this, shortcutId_, caption);
    AccessibleNameChanged(this);
    Changed();
}

void TsuiCustomButton::SetTransparent(bool transparent)
{
    transparent_ = transparent;
    Changed();
}

void TsuiCustomButton::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    UpdateAutoSize();
    Changed();
}

void TsuiCustomButton::SetFocusedRectMargin(int margin)
{
    focusedRectMargin_ = margin;
    Changed();
}

void TsuiCustomButton::SetTabStop(bool tabStop)
{
    setFocusPolicy(tabStop ? Qt::TabFocus : Qt::NoFocus);
    Changed();
}

void TsuiCustomButton::Changed()
{
    repaint();
}

void TsuiCustomButton::SyncRepeatTimer()
{
    if (!machine_.repeating()) {
        repeatTimer_.reset();
        return;
    }
    if (!repeatTimer_) {
        repeatTimer_ = clock_->start(std::max(repeatInterval_, 0),
                                     [this] { Q_EMIT OnMouseContinuouslyDown(); });
    }
}

void TsuiCustomButton::Click()
{
    machine_.clicked();
    SyncRepeatTimer();
    Changed();
    if (TabStop() && isEnabled() && isVisible())
        setFocus(Qt::MouseFocusReason);
    Q_EMIT OnClick();
    // A dialog closes with the button's result once the click is handled.
    auto* dialog = qobject_cast<QDialog*>(window());
    if (dialog && modalResult_ != 0)
        dialog->done(modalResult_);
}

ButtonLook TsuiCustomButton::Look() const
{
    ButtonLook look;
    look.size = size();
    look.enabled = isEnabled();
    look.pressed = machine_.pressed();
    look.focused = hasFocus() && TabStop();
    look.caption = caption_;
    look.font = font();
    look.textColor = palette().color(QPalette::ButtonText);
    look.focus = FocusStyle();
    look.focusedRectMargin = focusedRectMargin_;
    return look;
}

void TsuiCustomButton::paintEvent(QPaintEvent*)
{
    QPixmap buffer = OffscreenBuffer(this);
    buffer.fill(palette().color(QPalette::Window));
    {
        QPainter painter(&buffer);
        if (transparent_)
            PaintParentBackground(painter, this);
        PaintContent(painter, Look());
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void TsuiCustomButton::enterEvent(QEnterEvent*)
{
    machine_.mouseEnter();
    Changed();
    Q_EMIT OnMouseEnter();
}

void TsuiCustomButton::leaveEvent(QEvent*)
{
    machine_.mouseLeave();
    SyncRepeatTimer();
    Changed();
    Q_EMIT OnMouseExit();
}

// A double click arrives here as a second press (QWidget's default), so it clicks twice.
void TsuiCustomButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        leftDown_ = true;
        machine_.leftPress();
        SyncRepeatTimer();
        Changed();
    }
    Q_EMIT OnMouseDown(event->button(), event->position().toPoint());
}

void TsuiCustomButton::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    const bool outside = p.x() < 0 || p.y() < 0 || p.x() > width() || p.y() > height();
    if (outside && (machine_.mouseOver() || machine_.pressed())) {
        machine_.movedOutside();
        Changed();
    }
}

void TsuiCustomButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool click = leftDown_ && rect().contains(event->position().toPoint());
    leftDown_ = false;
    if (click) {
        Click();
        return;
    }
    machine_.clicked();
    SyncRepeatTimer();
    Changed();
}

void TsuiCustomButton::keyPressEvent(QKeyEvent* event)
{
    if (!IsActivationKey(event->key())) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (!event->isAutoRepeat()) {
        machine_.activationKeyDown(hasFocus(), isEnabled());
        Changed();
    }
}

void TsuiCustomButton::keyReleaseEvent(QKeyEvent* event)
{
    if (!IsActivationKey(event->key()) || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    if (machine_.activationKeyUp(hasFocus(), isEnabled()))
        Click();
}

void TsuiCustomButton::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    Changed();
}

void TsuiCustomButton::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    Changed();
}

void TsuiCustomButton::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange)
        Changed();
}

void TsuiCustomButton::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    WatchWindow();
}

bool TsuiCustomButton::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange)
        WatchWindow();
    if (event->type() == QEvent::Shortcut) {
        if (isEnabled())
            Click();
        return true;
    }
    return QWidget::event(event);
}

// Enter and Escape that no control of the window used reach the window itself.
void TsuiCustomButton::WatchWindow()
{
    QWidget* form = window() == this ? nullptr : window();
    if (form == watchedWindow_)
        return;
    if (watchedWindow_)
        watchedWindow_->removeEventFilter(this);
    watchedWindow_ = form;
    if (form)
        form->installEventFilter(this);
}

bool TsuiCustomButton::IsDialogKeyFor(const QKeyEvent* key) const
{
    if (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return false;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool escape = key->key() == Qt::Key_Escape;
    return ((enter && default_) || (escape && cancel_)) && isVisible() && isEnabled();
}

bool TsuiCustomButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == watchedWindow_ && event->type() == QEvent::KeyPress
        && IsDialogKeyFor(static_cast<QKeyEvent*>(event))) {
        Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------

TsuiButton::TsuiButton(QWidget* parent)
    : TsuiCustomButton(parent)
{
    UIStyleChanged();
}

void TsuiButton::SetGlyph(const QImage& glyph)
{
    glyph_ = glyph;
    Changed();
}

void TsuiButton::SetLayout(TButtonLayout layout)
{
    layout_ = layout;
    Changed();
}

void TsuiButton::SetSpacing(int spacing)
{
    spacing_ = spacing;
    Changed();
}

// The built-in bitmap of the button's own style decides, never a file theme: a style
// without one (FromThemeFile) gives 74 x 21, so 24 x 21.
void TsuiButton::UpdateAutoSize()
{
    if (!AutoSize())
        return;
    QImage whole;
    LoadBuiltInThemeBitmap(UIStyle(), ThemeItem::ButtonImage, whole);
    const int height = whole.height() > 0 ? whole.height() : 21;
    const int width = whole.width() > 0 ? whole.width() : 74;
    resize(width / 3, height);
}

void TsuiButton::UIStyleChanged()
{
    LoadFaces();
    SetTransparent(ThemeBool(FileTheme(), UIStyle(), ThemeItem::ButtonTransparentBool));
}

void TsuiButton::LoadFaces()
{
    for (int i = 0; i < 3; ++i) {
        faces_[i] = QImage();
        ThemeBitmap(FileTheme(), UIStyle(), ThemeItem::ButtonImage, faces_[i], i + 1, 3);
        stretched_[i] = QImage();
    }
}

const QImage& TsuiButton::FaceAtSize(ButtonFace face)
{
    // Disabled shows the normal face.
    const int i = face == ButtonFace::MouseOn ? 1 : face == ButtonFace::MouseDown ? 2 : 0;
    if (stretched_[i].size() != size() || stretchedTransparent_[i] != Transparent()) {
        stretched_[i] = StretchedFace(faces_[i], size(), Transparent());
        stretchedTransparent_[i] = Transparent();
    }
    return stretched_[i];
}

FocusLook TsuiButton::FocusStyle() const
{
    return UIStyle() == MacOS || UIStyle() == BlueGlass ? FocusLook::BoldCaption : FocusLook::DottedRect;
}

void TsuiButton::PaintContent(QPainter& canvas, const ButtonLook& look)
{
    SkinButtonLook skin;
    skin.face = FaceAtSize(State().face(look.enabled));
    skin.glyph = glyph_;
    skin.layout = layout_;
    skin.spacing = spacing_;
    PaintSkinButton(canvas, look, skin);
}

// ---------------------------------------------------------------------------------------

TsuiImageButton::TsuiImageButton(QWidget* parent)
    : TsuiCustomButton(parent)
{
}

void TsuiImageButton::SetPicture(ButtonFace face, const QImage& picture)
{
    pictures_[size_t(face)] = picture;
    UpdateAutoSize();
    Changed();
}

const QImage& TsuiImageButton::PictureFor(ButtonFace face) const
{
    const QImage& own = pictures_[size_t(face)];
    return own.isNull() ? PicNormal() : own;
}

void TsuiImageButton::SetStretch(bool stretch)
{
    stretch_ = stretch;
    Changed();
}

void TsuiImageButton::SetDrawFocused(bool drawFocused)
{
    drawFocused_ = drawFocused;
    Changed();
}

void TsuiImageButton::UpdateAutoSize()
{
    if (AutoSize() && parentWidget() && !PicNormal().isNull())
        resize(PicNormal().size());
}

FocusLook TsuiImageButton::FocusStyle() const
{
    return drawFocused_ ? FocusLook::DottedRect : FocusLook::None;
}

void TsuiImageButton::PaintContent(QPainter& canvas, const ButtonLook& look)
{
    PaintImageButton(canvas, look, ImageButtonLook{PictureFor(State().face(look.enabled)), stretch_});
}

} // namespace parvelle
