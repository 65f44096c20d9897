#include "FormFrame.h"

#include "ControlAlign.h"
#include "ErrorDialog.h"
#include "FrameHitTest.h"
#include "ImagePanel.h"

#include <QActionEvent>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QToolButton>
#include <QWindow>

// The skinned MDI parent windows that would receive the frame's MDI notifications are no
// part of this program, which has no MDI forms: those notifications are not sent, and an
// MDI child's title bar is not hidden when it is maximised.

namespace parvelle {

namespace {

constexpr int MenuCaptionPadding = 14;   // around a menu bar caption
constexpr int MdiChildShrink = 3;

// The window's border style as Qt tells it.
TFormBorderStyle BorderStyleOf(const QWidget* form)
{
    if (form->windowFlags() & Qt::FramelessWindowHint)
        return bsNone;
    const bool fixed = form->minimumSize() == form->maximumSize()
        || (form->windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
    return fixed ? bsSingle : bsSizeable;
}

// A one-pixel frame on the pixels of Rect.
void FrameRect(QPainter& painter, const QRect& rect, const QColor& color)
{
    painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), color);
    painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), color);
    painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), color);
    painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), color);
}

} // namespace

// ---- menu bar ---------------------------------------------------------------------------

// One top-level item of the main menu; its text and enabled state follow the item.
class TsuiMenuBarButton : public QToolButton {
public:
    TsuiMenuBarButton(TsuiMenuBar* bar, QAction* item);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void actionEvent(QActionEvent* event) override;

private:
    TsuiMenuBar* bar_;
};

// A flat bar of menu captions across the frame, below the title bar.
class TsuiMenuBar : public QWidget {
public:
    explicit TsuiMenuBar(TsuiForm* frame)
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

    // Buttons for the menu's top-level items, in menu order.
    void Rebuild()
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
        UpdateFont();
    }

    void UpdateHeight()
    {
        resize(width(), frame_->MenuBarHeight());
        AlignControls(frame_);
    }

    void UpdateFont()
    {
        if (const TsuiMainMenu* menu = frame_->Menu())
            setFont(menu->ItemFont());
        update();
    }

    const TsuiMainMenu& Menu() const { return *frame_->Menu(); }
    int BarHeight() const { return frame_->MenuBarHeight(); }

    TColor ThemeColorOf(int item) const
    {
        return ThemeColor(Menu().FileTheme(), Menu().UIStyle(), item);
    }
    bool MacLook() const { return Menu().UIStyle() == MacOS; }

    // The caption colour of a button that is neither hot nor pressed.
    TColor CaptionColor() const { return Menu().UseSystemFont() ? clMenuText : Menu().FontColor(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPixmap buffer = OffscreenBuffer(this);
        {
            QPainter painter(&buffer);
            const QImage bar = frame_->Menu() && MacLook() ? LoadSkinBitmap(QStringLiteral("MACOS_MENU_BAR")) : QImage();
            if (!bar.isNull())
                painter.drawImage(rect(), bar);
            else
                painter.fillRect(rect(), ToQColor(frame_->MenuBarColor()));
        }
        QPainter(this).drawPixmap(0, 0, buffer);
    }

private:
    TsuiForm* frame_;
    QHBoxLayout* row_;
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
    return QSize(textWidth + MenuCaptionPadding, bar_->BarHeight());
}

void TsuiMenuBarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(font());
    const int flags = Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    const bool pressed = isDown() || (menu() && menu()->isVisible());
    if (!pressed && !underMouse()) {
        painter.setPen(ToQColor(isEnabled() ? bar_->CaptionColor() : clGray));
        painter.drawText(rect(), flags, text());
        return;
    }
    const QColor captionColor = ToQColor(bar_->ThemeColorOf(ThemeItem::MenuSelectedFontColor));
    QRect captionRect = rect().adjusted(0, 2, 0, 0);
    if (bar_->MacLook()) {
        painter.drawImage(rect(), LoadSkinBitmap(QStringLiteral("MACOS_MENU_SELECT")));
    } else {
        const QRect face = pressed ? rect().adjusted(0, 0, -2, 0) : rect();
        painter.fillRect(face, ToQColor(bar_->ThemeColorOf(ThemeItem::MenuSelectedBackgroundColor)));
        FrameRect(painter, face, ToQColor(bar_->ThemeColorOf(ThemeItem::MenuSelectedBorderColor)));
        captionRect = face.adjusted(pressed ? 2 : 0, 2, 0, 0);
    }
    painter.setPen(captionColor);
    painter.drawText(captionRect, flags, text());
}

// ---- application message hook ---------------------------------------------------------------

// Installed by the first frame: Alt+Space opens that frame's system menu, and its menu's
// shortcuts work from anywhere in the program.
class TsuiForm::MessageHook : public QObject {
public:
    explicit MessageHook(TsuiForm* frame)
        : QObject(frame)
        , frame_(frame)
    {
        qApp->installEventFilter(this);
    }
    ~MessageHook() override { qApp->removeEventFilter(this); }

    static MessageHook*& Installed()
    {
        static MessageHook* hook = nullptr;
        return hook;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::AltModifier) {
            const QWidget* main = ApplicationMainForm() ? ApplicationMainForm() : frame_->Form();
            frame_->TitleBar()->SystemMenu()->Popup(main->x(), main->y() + frame_->TitleBar()->height());
            return true;
        }
        return frame_->MenuTakesShortcut(key);
    }

private:
    TsuiForm* frame_;
};

// ---- TsuiForm ------------------------------------------------------------------------------

QWidget* TsuiForm::RequireNoFrame(QWidget* form)
{
    if (!form)
        throw ESkinError(QStringLiteral("A TsuiForm needs a form"));
    if (form->findChild<TsuiForm*>(QString(), Qt::FindDirectChildrenOnly))
        throw ESkinError(QStringLiteral("Sorry, You can create only one TsuiForm component in one form!"));
    return form;
}

TsuiForm::TsuiForm(QWidget* form)
    : QWidget(RequireNoFrame(form))
    , form_(form)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    form_->setMinimumSize(125, 50);
    wasMaximized_ = form_->isMaximized();
    startBounds_ = wasMaximized_ ? form_->normalGeometry() : form_->geometry();
    titleBar_ = new TsuiTitleBar(this);
    connect(titleBar_, &TsuiTitleBar::OnCustomBtnsClick, this, &TsuiForm::OnTitleBarCustomBtnsClick);
    connect(titleBar_, &TsuiTitleBar::OnHelpBtnClick, this, &TsuiForm::OnTitleBarHelpBtnClick);
    menuBarColor_ = color_;
    initialBorder_ = BorderStyleOf(form_);
    SetUIStyle(DeepBlue);
    SetCaption(form_->windowTitle());
    SetTitleBarVisible(true);

    const bool mdi = IsMdiChild() || form_->findChild<QMdiArea*>(QString(), Qt::FindDirectChildrenOnly);
    if (form_->isWindow() && !mdi) {
        const bool shown = form_->isVisible();
        form_->setWindowFlag(Qt::FramelessWindowHint);
        if (shown)
            form_->show();
    }
    form_->setMouseTracking(true);   // the cursor follows the resize zones
    form_->installEventFilter(this);
    if (!MessageHook::Installed())
        MessageHook::Installed() = messageHook_ = new MessageHook(this);
    LayoutFrame();
}

TsuiForm::~TsuiForm()
{
    if (messageHook_ && MessageHook::Installed() == messageHook_)
        MessageHook::Installed() = nullptr;
    if (menu_ && menu_->Form() == this)
        menu_->SetForm(nullptr);
    form_->removeEventFilter(this);
    form_->update();
}

bool TsuiForm::IsMdiChild() const
{
    return qobject_cast<QMdiSubWindow*>(form_->parentWidget()) != nullptr;
}

QWidget* TsuiForm::MenuBar() const
{
    return menuBar_;
}

void TsuiForm::SetWidth(int width)
{
    form_->resize(width + 2 * borderWidth_, form_->height());
    LayoutFrame();
}

void TsuiForm::SetHeight(int height)
{
    form_->resize(form_->width(), height + borderWidth_ + borderWidth_ / 2);
    LayoutFrame();
}

void TsuiForm::SetFileTheme(TsuiFileTheme* fileTheme)
{
    if (fileTheme == fileTheme_)
        return;
    if (fileTheme_)
        disconnect(fileTheme_, &QObject::destroyed, this, nullptr);
    fileTheme_ = fileTheme;
    if (fileTheme_)
        connect(fileTheme_, &QObject::destroyed, this, &TsuiForm::FileThemeDestroyed);
    ApplyStyle();
}

void TsuiForm::FileThemeDestroyed()
{
    fileTheme_ = nullptr;
    ApplyStyleToChildren(this, DeepBlue, nullptr);
    SetUIStyle(DeepBlue);
}

void TsuiForm::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    ApplyStyle();
}

// The form's size is not written again here: a style change keeps the form's size.
void TsuiForm::ApplyStyle()
{
    const QRect bounds = form_->geometry();
    borderColor_ = ThemeColor(fileTheme_, uiStyle_, ThemeItem::FormBorderColor);
    borderWidth_ = ThemeInt(fileTheme_, uiStyle_, ThemeItem::FormBorderWidthInt);
    color_ = ThemeColor(fileTheme_, uiStyle_, ThemeItem::FormBackgroundColor);
    menuBarColor_ = color_;
    titleBar_->SetFileTheme(fileTheme_);
    titleBar_->SetUIStyle(uiStyle_);
    if (IsMdiChild())
        titleBar_->SetRoundCorner(0);
    if (menu_) {
        menu_->SetUIStyle(uiStyle_);
        menu_->SetFileTheme(fileTheme_);
    }
    if (uiStyleAutoUpdateSub_)
        ApplyStyleToChildren(this, uiStyle_, fileTheme_);
    if (IsMdiChild())
        form_->setGeometry(bounds);
    if (menuBar_)
        menuBar_->UpdateFont();
    LayoutFrame();
    update();
}

void TsuiForm::SetBorderColor(TColor color)
{
    borderColor_ = color;
    LayoutFrame();
}

void TsuiForm::SetBorderWidth(int width)
{
    const int oldWidth = Width(), oldHeight = Height();
    borderWidth_ = width;
    SetWidth(oldWidth);
    SetHeight(oldHeight);
}

void TsuiForm::SetTitleBarVisible(bool visible)
{
    titleBar_->setVisible(visible);
    titleBar_->move(titleBar_->x(), 0);   // back at the top, above the menu bar
    LayoutFrame();
}

void TsuiForm::SetColor(TColor color)
{
    color_ = color;
    update();
}

void TsuiForm::SetCaption(const QString& caption)
{
    titleBar_->SetCaption(caption);
    form_->setWindowTitle(caption);
}

void TsuiForm::SetFormPanel(QWidget* panel)
{
    if (panel == this) {
        ShowErrorDialog(QStringLiteral("Sorry, you can't select the Form assign to FormPanel property"));
        return;
    }
    formPanel_ = panel;
    if (!panel)
        return;
    SetControlAlign(panel, alClient);
    if (auto* imagePanel = qobject_cast<TsuiImagePanel*>(panel))
        imagePanel->SetCaption(QString());
    else if (auto* frame = qobject_cast<QFrame*>(panel))
        frame->setFrameShape(QFrame::NoFrame);
}

void TsuiForm::SetMenu(TsuiMainMenu* menu)
{
    if (menu_) {
        disconnect(menu_, nullptr, this, nullptr);
        if (menu_->Form() == this)
            menu_->SetForm(nullptr);
    }
    menu_ = menu;
    if (!menu_ || IsMdiChild()) {
        delete std::exchange(menuBar_, nullptr);
        LayoutFrame();
        if (!menu_)
            return;
    }
    menu_->SetForm(this);
    connect(menu_, &QObject::destroyed, this, &TsuiForm::MenuDestroyed);
    if (IsMdiChild())
        return;
    if (!menuBar_) {
        menuBar_ = new TsuiMenuBar(this);
        menuBar_->show();
    }
    connect(menu_, &TsuiMainMenu::ItemsChanged, menuBar_, [bar = menuBar_] { bar->Rebuild(); });
    menuBar_->Rebuild();
    LayoutFrame();
}

void TsuiForm::MenuDestroyed()
{
    menu_ = nullptr;
    delete std::exchange(menuBar_, nullptr);
    LayoutFrame();
}

void TsuiForm::SetMenuBarColor(TColor color)
{
    menuBarColor_ = color;
    if (menuBar_)
        menuBar_->update();
}

void TsuiForm::SetMenuBarHeight(int height)
{
    menuBarHeight_ = height;
    if (menuBar_)
        menuBar_->UpdateHeight();
}

void TsuiForm::SetRoundCorner(int corner)
{
    if (!IsMdiChild())
        titleBar_->SetRoundCorner(corner);
}

void TsuiForm::LayoutFrame()
{
    const int top = TitleBarVisible() ? 0 : borderWidth_;
    const int shrink = IsMdiChild() ? MdiChildShrink : 0;
    setGeometry(borderWidth_, top, form_->width() - 2 * borderWidth_ - shrink,
                form_->height() - borderWidth_ - top - shrink);
    AlignControls(this);
    form_->update();   // the border
}

// Resized: the new size has arrived; otherwise only the window state changed and the
// window manager's resize is still to come.
void TsuiForm::Sizing(bool resized)
{
    if (wasMaximized_ && !form_->isMaximized()) {
        wasMaximized_ = false;
        form_->setGeometry(startBounds_);
    }
    // A window manager that maximises over the panels is overruled; through the window, as
    // the widget would take a geometry of its own as the end of the maximised state.
    if (resized && form_->isMaximized() && !IsMdiChild() && initialBorder_ != bsNone
        && form_->windowHandle()) {
        const QRect workArea = FormWorkArea(form_);
        if (form_->geometry() != workArea)
            form_->windowHandle()->setGeometry(workArea);
    }
    LayoutFrame();
    titleBar_->UpdateMaximizeButtons();
    titleBar_->ApplyWindowRegion();
}

void TsuiForm::DrawBorder()
{
    QPainter painter(form_);
    const QColor color = ToQColor(borderColor_);
    const int cw = form_->width(), ch = form_->height(), bw = borderWidth_;
    const int mdi = IsMdiChild() ? MdiChildShrink : 0;
    painter.fillRect(RectLTRB(0, 0, bw, ch - (mdi ? 2 : 0)), color);
    painter.fillRect(RectLTRB(0, ch - bw - mdi, cw, ch - mdi), color);
    painter.fillRect(RectLTRB(cw - bw - mdi, 0, cw - mdi, ch), color);
    // The top edge as a whole strip: it shows only while the title bar is hidden.
    painter.fillRect(RectLTRB(0, 0, cw, bw), color);
}

int TsuiForm::HitTest(const QPoint& cursor) const
{
    return FormHitTest(cursor, form_->mapToGlobal(QPoint(0, 0)), form_->size(), InitialSizeable(),
                       form_->isMaximized(), HTCLIENT);
}

bool TsuiForm::FormMouseEvent(QEvent* event)
{
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const int zone = HitTest(mouse->globalPosition().toPoint());
    if (event->type() == QEvent::MouseMove) {
        form_->setCursor(HitTestCursor(zone));
        return false;
    }
    const Qt::Edges edges = HitTestEdges(zone);
    if (mouse->button() != Qt::LeftButton || !edges || !form_->windowHandle())
        return false;
    form_->windowHandle()->startSystemResize(edges);
    return true;
}

bool TsuiForm::MenuTakesShortcut(const QKeyEvent* event) const
{
    if (!menu_ || event->key() == Qt::Key_unknown)
        return false;
    QAction* item = FindShortcutItem(menu_, QKeySequence(event->keyCombination()));
    if (!item)
        return false;
    item->trigger();
    return true;
}

bool TsuiForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != form_)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ActivationChange:
        titleBar_->SetFormActive(form_->isActiveWindow());
        break;
    case QEvent::Resize:
    case QEvent::WindowStateChange:
        Sizing(event->type() == QEvent::Resize);
        break;
    case QEvent::Paint:
        DrawBorder();
        break;
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
        return FormMouseEvent(event);
    case QEvent::KeyPress:
        return IsFormActive(form_) && form_->isActiveWindow()
            && MenuTakesShortcut(static_cast<QKeyEvent*>(event));
    default: break;
    }
    return false;
}

void TsuiForm::paintEvent(QPaintEvent*)
{
    QPixmap buffer = OffscreenBuffer(this);
    {
        QPainter painter(&buffer);
        const QImage tile = uiStyle_ == MacOS ? LoadSkinBitmap(QStringLiteral("MACOS_FORM_BACKGROUND"))
            : uiStyle_ == Protein             ? LoadSkinBitmap(QStringLiteral("PROTEIN_FORM_BACKGROUND"))
                                              : QImage();
        if (tile.isNull())
            painter.fillRect(rect(), ToQColor(color_));
        else
            TileDrawPicture(painter, tile, rect());
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void TsuiForm::contextMenuEvent(QContextMenuEvent* event)
{
    if (popupMenu_)
        popupMenu_->popup(event->globalPos());
    else
        QWidget::contextMenuEvent(event);
}

QImage WindowImage(QWidget& form)
{
    // At the screen's pixel density: every device pixel as the screen shows it.
    const qreal ratio = form.devicePixelRatioF();
    QImage image(form.size() * ratio, QImage::Format_ARGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    if (!form.mask().isEmpty())
        painter.setClipRegion(form.mask());
    painter.drawPixmap(0, 0, form.grab());
    return image;
}

} // namespace parvelle
