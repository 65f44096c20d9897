#include "FormFrame.h"

#include "ControlAlign.h"
#include "ErrorDialog.h"
#include "FrameHitTest.h"
#include "ImagePanel.h"
#include "MenuBar.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QTimer>
#include <QWindow>

// The skinned MDI parent windows that would receive the frame's MDI notifications are no
// part of this program, which has no MDI forms: those notifications are not sent, and an
// MDI child's title bar is not hidden when it is maximised.

namespace parvelle {

namespace {

constexpr int kMdiChildShrink = 3;

// The window's border style as Qt tells it.
TFormBorderStyle BorderStyleOf(const QWidget* form)
{
    if (form->windowFlags() & Qt::FramelessWindowHint)
        return bsNone;
    const bool fixed = form->minimumSize() == form->maximumSize()
        || (form->windowFlags() & Qt::MSWindowsFixedSizeDialogHint);
    return fixed ? bsSingle : bsSizeable;
}

// The device pixel edge of a logical Position within Extent, rounded from the nearer end of
// Extent: both ends round alike, so strips of one width are as wide at either end.
int DeviceEdge(int position, int extent, qreal ratio)
{
    if (2 * position <= extent)
        return qRound(position * ratio);
    return qRound(extent * ratio) - qRound((extent - position) * ratio);
}

// Hands the form's shape to its window again once shown. The widget hands it on only when it
// changes, and Qt's Wayland plugin, setting up the surface of a window being shown, gives the
// compositor the shape unscaled by a forced scale factor: the window then took the mouse in
// its top-left part only. Through the window the shape is scaled as on any change; the
// Wayland plugin sends nothing when its surface holds that shape already.
void RestateShape(QWidget* form)
{
    QWindow* window = form->windowHandle();
    if (window && !form->mask().isEmpty())
        window->setMask(form->mask());
}

} // namespace

// ---- border ---------------------------------------------------------------------------------

// The border strips, on a widget of their own over the form, shaped to the strips; mouse
// events pass through it to the form. Its shape takes in the frame's last column and row:
// at a fractional scale the frame's far edges round over a device pixel of the border,
// which the strips, painted in device pixels, take back.
class TsuiForm::Border : public QWidget {
public:
    explicit Border(TsuiForm* frame)
        : QWidget(frame->Form())
        , frame_(frame)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    // Over the whole form, above the frame.
    void Place()
    {
        setGeometry(frame_->Form()->rect());
        QRegion shape;
        for (const QRect& strip : frame_->BorderStrips())
            shape += strip;
        const int bw = frame_->BorderWidth();
        shape += QRegion(width() - bw - 1, 0, 1, height()) + QRegion(0, height() - bw - 1, width(), 1);
        const QRegion formShape = frame_->Form()->mask();
        setMask(formShape.isEmpty() ? shape : shape & formShape);
        raise();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const qreal ratio = devicePixelRatioF();
        painter.scale(1 / ratio, 1 / ratio);   // device pixels
        const auto device = [this, ratio](const QRect& strip) {
            return QRect(QPoint(DeviceEdge(strip.left(), width(), ratio), DeviceEdge(strip.top(), height(), ratio)),
                         QPoint(DeviceEdge(RightOf(strip), width(), ratio) - 1,
                                DeviceEdge(BottomOf(strip), height(), ratio) - 1));
        };
        for (const QRect& strip : frame_->BorderStrips())
            painter.fillRect(device(strip), ToQColor(frame_->BorderColor()));
    }

private:
    const TsuiForm* frame_;
};

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
        // A Wayland compositor takes the form's shape for the mouse only: the corners it cuts
        // off show through where nothing paints them.
        if (CompositorPlacesWindows())
            form_->setAttribute(Qt::WA_TranslucentBackground);
        form_->setWindowFlag(Qt::FramelessWindowHint);
        if (shown)
            form_->show();
    }
    form_->setMouseTracking(true);   // the cursor follows the resize zones
    form_->installEventFilter(this);
    border_ = new Border(this);
    border_->show();
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
    delete border_.data();
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
    backgroundTile_ = uiStyle_ == MacOS ? LoadSkinBitmap(QStringLiteral("MACOS_FORM_BACKGROUND"))
        : uiStyle_ == Protein           ? LoadSkinBitmap(QStringLiteral("PROTEIN_FORM_BACKGROUND"))
                                        : QImage();
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
        menuBar_->UpdateStyle();
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
    const int shrink = IsMdiChild() ? kMdiChildShrink : 0;
    setGeometry(borderWidth_, top, form_->width() - 2 * borderWidth_ - shrink,
                form_->height() - borderWidth_ - top - shrink);
    AlignControls(this);
    if (border_)
        border_->Place();
}

void TsuiForm::KeepToShape()
{
    setMask(form_->mask().translated(-pos()));
    if (border_)
        border_->Place();
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
        && form_->windowHandle() && !CompositorPlacesWindows()) {
        const QRect workArea = FormWorkArea(form_);
        if (form_->geometry() != workArea)
            form_->windowHandle()->setGeometry(workArea);
    }
    LayoutFrame();
    titleBar_->UpdateMaximizeButtons();
    titleBar_->ApplyWindowRegion();
}

QList<QRect> TsuiForm::BorderStrips() const
{
    const int cw = form_->width(), ch = form_->height(), bw = borderWidth_;
    const int mdi = IsMdiChild() ? kMdiChildShrink : 0;
    QList<QRect> strips{RectLTRB(0, 0, bw, ch - (mdi ? 2 : 0)), RectLTRB(0, ch - bw - mdi, cw, ch - mdi),
                        RectLTRB(cw - bw - mdi, 0, cw - mdi, ch)};
    if (!TitleBarVisible())
        strips.append(RectLTRB(0, 0, cw, bw));
    return strips;
}

int TsuiForm::HitTest(const QPoint& cursor) const
{
    return FormHitTest(cursor, form_->mapToGlobal(QPoint(0, 0)), form_->size(), InitialSizeable(),
                       form_->isMaximized(), HTCLIENT);
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
    case QEvent::Show:   // the window is set up after the event
        QTimer::singleShot(0, form_, [form = form_] { RestateShape(form); });
        break;
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
        if (backgroundTile_.isNull())
            painter.fillRect(rect(), ToQColor(color_));
        else
            TileDrawPicture(painter, backgroundTile_, rect());
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
