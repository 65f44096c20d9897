#include "Menus.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QSet>
#include <QStyleOptionMenuItem>
#include <functional>

namespace parvelle {

namespace {

constexpr TColor kDisabledTextColor = 0x808080;
constexpr TColor kMacSeparatorColor = 0x000000;
constexpr TColor kSeparatorLineColor = 0x848284;
constexpr TColor kMenuFrameColor = 0x808080;
constexpr int kMacMenuItemHeight = 20;
constexpr int kMacSeparatorHeight = 12;
constexpr int kStyledBarWidth = 26;
constexpr int kImageSize = 16;

// A MacOS menu bitmap, its top `rows` kept, stretched over `rect`.
void DrawMacBitmap(QPainter& painter, const QImage& bitmap, int rows, const QRect& rect)
{
    if (!bitmap.isNull())
        painter.drawImage(rect, bitmap, QRect(0, 0, bitmap.width(), qMin(rows, bitmap.height())));
}

// Caption and shortcut text of an item ("caption\tshortcut").
std::pair<QString, QString> SplitText(const QString& text)
{
    const qsizetype tab = text.indexOf(u'\t');
    if (tab < 0)
        return {text, QString()};
    return {text.left(tab), text.mid(tab + 1)};
}

bool IsSeparator(const QStyleOptionMenuItem& item)
{
    return item.menuItemType == QStyleOptionMenuItem::Separator || SplitText(item.text).first == u"-";
}

// Runs `visit` once on every submenu of `menu`, at any depth (menus that contain each
// other included).
void ForEachSubmenu(QMenu* menu, const std::function<void(QMenu*)>& visit)
{
    QSet<QMenu*> seen{menu};
    QList<QMenu*> pending{menu};
    while (!pending.isEmpty()) {
        for (QAction* action : pending.takeFirst()->actions()) {
            QMenu* sub = action->menu();
            if (!sub || seen.contains(sub))
                continue;
            seen.insert(sub);
            visit(sub);
            pending.append(sub);
        }
    }
}

// An item's image at (x, y), greyed when the item is disabled.
void DrawItemImage(QPainter& painter, int x, int y, const QImage& image, bool enabled)
{
    if (enabled)
        painter.drawImage(x, y, image);
    else
        DrawGreyedImage(painter, QPoint(x, y), image);
}

QImage IconImage(const QIcon& icon)
{
    return icon.pixmap(QSize(kImageSize, kImageSize), 1.0).toImage();
}

} // namespace

QAction* FindShortcutItem(QMenu* menu, const QKeySequence& keys)
{
    QList<QMenu*> menus{menu};
    ForEachSubmenu(menu, [&menus](QMenu* sub) { menus.append(sub); });
    for (QMenu* current : std::as_const(menus)) {
        for (QAction* action : current->actions()) {
            if (action->isEnabled() && !action->menu() && action->shortcuts().contains(keys))
                return action;
        }
    }
    return nullptr;
}

const QImage& MenuCheckMark()
{
    static const QImage mark = MaskedWithColor(LoadSkinBitmap(QStringLiteral("MENU_CHECKED")), clWhite);
    return mark;
}

// Routes the toolkit's measuring and drawing of menu items to the skinned menu.
class TsuiMenuStyle : public QProxyStyle {
public:
    explicit TsuiMenuStyle(TsuiMenu* menu)
        : menu_(menu)
    {
        setParent(menu);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        switch (metric) {
        case PM_MenuPanelWidth:
            return menu_->FlatMenu() ? 0 : 1;   // the flat look frames the window itself
        case PM_MenuHMargin:
        case PM_MenuVMargin:
        case PM_MenuDesktopFrameWidth:
            return 0;   // items fill the menu window
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (type != CT_MenuItem || !item)
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        if (IsSeparator(*item))
            return menu_->MeasureItem(QStringLiteral("-"), QString());
        // The toolkit adds the widest shortcut text to the menu's width itself.
        return menu_->MeasureItem(SplitText(item->text).first, QString());
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override
    {
        if (element == CE_MenuItem) {
            if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
                menu_->DrawItem(*painter, *item);
                return;
            }
        }
        if (element == CE_MenuEmptyArea) {
            painter->fillRect(option->rect, ToQColor(menu_->Color()));
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element == PE_PanelMenu) {
            painter->fillRect(option->rect, ToQColor(menu_->Color()));
            return;
        }
        if (element == PE_FrameMenu) {
            // The window frame a system menu has around its owner-drawn items.
            painter->save();
            painter->setPen(ToQColor(kMenuFrameColor));
            painter->setBrush(Qt::NoBrush);
            painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
            painter->restore();
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

private:
    TsuiMenu* menu_;
};

// ---- TsuiMenu ---------------------------------------------------------------

TsuiMenu::TsuiMenu(QWidget* owner)
    : QMenu(owner)
    , style_(new TsuiMenuStyle(this))
    , uiStyle_(OwnerFormUIStyle(owner))
{
    setStyle(style_);
    LoadMacPictures();
    connect(this, &QMenu::aboutToShow, this, &TsuiMenu::InstallHandlers);
}

void TsuiMenu::SetFileTheme(TsuiFileTheme* fileTheme)
{
    if (fileTheme_)
        disconnect(fileTheme_, &QObject::destroyed, this, nullptr);
    fileTheme_ = fileTheme;
    if (fileTheme_)
        connect(fileTheme_, &QObject::destroyed, this, &TsuiMenu::FileThemeDestroyed);
    SetUIStyle(uiStyle_);
}

void TsuiMenu::FileThemeDestroyed()
{
    fileTheme_ = nullptr;
    SetUIStyle(DeepBlue);
}

void TsuiMenu::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    const TsuiFileTheme* theme = fileTheme_;
    auto color = [&](int item) { return ThemeColor(theme, style, item); };
    const bool mac = style == MacOS;
    menuItemHeight_ = mac ? kMacMenuItemHeight : 21;
    separatorHeight_ = mac ? kMacSeparatorHeight : 5;
    barWidth_ = kStyledBarWidth;
    barColor_ = color(ThemeItem::MenuBarColor);
    color_ = color(ThemeItem::MenuBackgroundColor);
    separatorColor_ = mac ? kMacSeparatorColor : kSeparatorLineColor;
    selectedBorderColor_ = color(ThemeItem::MenuSelectedBorderColor);
    selectedColor_ = color(ThemeItem::MenuSelectedBackgroundColor);
    selectedFontColor_ = color(ThemeItem::MenuSelectedFontColor);
    fontColor_ = color(ThemeItem::MenuFontColor);
    LoadMacPictures();
    Relayout();
}

void TsuiMenu::LoadMacPictures()
{
    const bool mac = uiStyle_ == MacOS;
    macBarPicture_ = mac ? LoadSkinBitmap(QStringLiteral("MACOS_MENU_BAR")) : QImage();
    macSelectPicture_ = mac ? LoadSkinBitmap(QStringLiteral("MACOS_MENU_SELECT")) : QImage();
}

// The toolkit keeps item rectangles until told the measuring changed: this menu and its
// submenus re-measure their items.
void TsuiMenu::Relayout()
{
    QEvent change(QEvent::StyleChange);
    QCoreApplication::sendEvent(this, &change);
    ForEachSubmenu(this, [&change](QMenu* sub) { QCoreApplication::sendEvent(sub, &change); });
}

void TsuiMenu::SetMenuItemHeight(int height)
{
    if (uiStyle_ != MacOS) {
        menuItemHeight_ = height;
        Relayout();
    }
}

void TsuiMenu::SetSeparatorHeight(int height)
{
    if (uiStyle_ != MacOS) {
        separatorHeight_ = height;
        Relayout();
    }
}

void TsuiMenu::SetBarWidth(int width) { barWidth_ = width; Relayout(); }
void TsuiMenu::SetBarColor(TColor color) { barColor_ = color; update(); }
void TsuiMenu::SetColor(TColor color) { color_ = color; update(); }
void TsuiMenu::SetSeparatorColor(TColor color) { separatorColor_ = color; update(); }
void TsuiMenu::SetSelectedBorderColor(TColor color) { selectedBorderColor_ = color; update(); }
void TsuiMenu::SetSelectedColor(TColor color) { selectedColor_ = color; update(); }
void TsuiMenu::SetSelectedFontColor(TColor color) { selectedFontColor_ = color; update(); }
void TsuiMenu::SetFontColor(TColor color) { fontColor_ = color; update(); }
void TsuiMenu::SetBorderColor(TColor color) { borderColor_ = color; update(); }
void TsuiMenu::SetFlatMenu(bool flat) { flatMenu_ = flat; Relayout(); }
void TsuiMenu::SetFontName(const QString& name) { fontName_ = name; Relayout(); }
void TsuiMenu::SetFontSize(int size) { fontSize_ = size; Relayout(); }
void TsuiMenu::SetFontCharset(int charset) { fontCharset_ = charset; }
void TsuiMenu::SetUseSystemFont(bool use) { useSystemFont_ = use; Relayout(); }

QFont TsuiMenu::ItemFont() const
{
    if (useSystemFont_)
        return QApplication::font("QMenu");
    QFont font(fontName_);
    font.setPointSize(qMax(1, fontSize_));
    return font;
}

QSize TsuiMenu::MeasureItem(const QString& caption, const QString& shortcut) const
{
    const QFontMetrics metrics(ItemFont());
    const int width = metrics.horizontalAdvance(caption) + metrics.horizontalAdvance(shortcut) + barWidth_ + 40;
    return QSize(width, caption == u"-" ? separatorHeight_ : menuItemHeight_);
}

void TsuiMenu::InstallHandlers()
{
    ForEachSubmenu(this, [this](QMenu* sub) {
        if (sub->style() != style_)
            sub->setStyle(style_);
    });
}

bool TsuiMenu::event(QEvent* event)
{
    if (event->type() == QEvent::ActionAdded || event->type() == QEvent::ActionChanged)
        InstallHandlers();
    return QMenu::event(event);
}

QIcon TsuiMenu::ItemImage(const QStyleOptionMenuItem& item) const
{
    return item.icon;
}

void TsuiMenu::DrawBarAndBackground(QPainter& painter, const QRect& rect) const
{
    if (barWidth_ > 0)
        painter.fillRect(QRect(rect.left(), rect.top(), barWidth_, rect.height()), ToQColor(barColor_));
    painter.fillRect(QRect(rect.left() + barWidth_, rect.top(), rect.width() - barWidth_, rect.height()), ToQColor(color_));
}

void TsuiMenu::DrawItemBackground(QPainter& painter, const QRect& rect, bool selected) const
{
    const bool mac = uiStyle_ == MacOS;
    if (selected) {
        if (mac) {
            DrawMacBitmap(painter, macSelectPicture_, kMacMenuItemHeight, rect);
        } else {
            painter.fillRect(rect, ToQColor(selectedColor_));
            FrameRect(painter, rect, ToQColor(selectedBorderColor_));
        }
    } else if (mac) {
        DrawMacBitmap(painter, macBarPicture_, kMacMenuItemHeight, rect);
    } else {
        DrawBarAndBackground(painter, rect);
    }
}

void TsuiMenu::DrawItemText(QPainter& painter, const QStyleOptionMenuItem& item) const
{
    const bool enabled = item.state & QStyle::State_Enabled;
    const bool selected = item.state & QStyle::State_Selected;
    QFont font = ItemFont();
    font.setBold(item.menuItemType == QStyleOptionMenuItem::DefaultItem);
    painter.setFont(font);
    painter.setPen(ToQColor(!enabled ? kDisabledTextColor : selected ? selectedFontColor_ : fontColor_));
    const QRect r = item.rect;
    const auto [caption, shortcut] = SplitText(item.text);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    painter.drawText(RectLTRB(r.left() + barWidth_ + 4, r.top() + 4, RightOf(r), BottomOf(r)),
                     flags | Qt::TextShowMnemonic, caption);
    if (!shortcut.isEmpty()) {
        const int width = QFontMetrics(font).horizontalAdvance(shortcut);
        painter.drawText(RectLTRB(RightOf(r) - width - 16, r.top() + 4, RightOf(r), BottomOf(r)), flags, shortcut);
    }
}

void TsuiMenu::DrawCheckAndImage(QPainter& painter, const QStyleOptionMenuItem& item) const
{
    const bool enabled = item.state & QStyle::State_Enabled;
    const bool checked = item.checkType != QStyleOptionMenuItem::NotCheckable && item.checked;
    const QIcon image = ItemImage(item);
    const int l = item.rect.left(), t = item.rect.top();
    if (checked) {
        if (!image.isNull()) {
            FrameRect(painter, RectLTRB(l + 2, t + 1, l + 21, t + 20), Qt::black);
            painter.fillRect(RectLTRB(l + 3, t + 2, l + 20, t + 19), ToQColor(selectedColor_));
        } else {
            DrawItemImage(painter, l + 4, t + 3, MenuCheckMark(), enabled);
        }
    }
    if (!image.isNull())
        DrawItemImage(painter, l + 4, t + 3, IconImage(image), enabled);
}

void TsuiMenu::DrawItem(QPainter& painter, const QStyleOptionMenuItem& item) const
{
    const QRect r = item.rect;
    painter.save();
    if (IsSeparator(item)) {
        if (uiStyle_ == MacOS) {
            DrawMacBitmap(painter, macBarPicture_, kMacSeparatorHeight, r);
        } else {
            DrawBarAndBackground(painter, r);
            // The line runs from L + BarWidth + 4 up to, not including, R - 2.
            painter.fillRect(RectLTRB(r.left() + barWidth_ + 4, r.top() + 2, RightOf(r) - 2, r.top() + 3),
                             ToQColor(separatorColor_));
        }
    } else {
        const bool enabled = item.state & QStyle::State_Enabled;
        DrawItemBackground(painter, r, enabled && (item.state & QStyle::State_Selected));
        DrawItemText(painter, item);
        DrawCheckAndImage(painter, item);
    }
    painter.restore();
}

// The flat look: a black frame, a white one inside it, and the right, top and bottom
// edges in the style's form background colour.
void TsuiMenu::DrawFlatFrame(QPainter& painter) const
{
    const int w = width(), h = height();
    const QRect outer = RectLTRB(0, 1, w - 1, h - 1);
    FrameRect(painter, outer, Qt::black);
    FrameRect(painter, outer.adjusted(1, 1, -1, -1), Qt::white);
    const QColor edge = ToQColor(ThemeColor(fileTheme_, uiStyle_, ThemeItem::FormBackgroundColor));
    painter.fillRect(QRect(0, h - 1, w - 1, 1), edge);
    painter.fillRect(QRect(w - 1, 0, 1, h), edge);
    painter.fillRect(QRect(1, 0, w - 1, 1), edge);
}

void TsuiMenu::paintEvent(QPaintEvent* event)
{
    QMenu::paintEvent(event);
    if (flatMenu_) {
        QPainter painter(this);
        DrawFlatFrame(painter);
    }
}

// ---- TsuiPopupMenu ------------------------------------------------------------

TsuiPopupMenu::TsuiPopupMenu(QWidget* owner)
    : TsuiMenu(owner)
{
}

// ---- TsuiMainMenu -------------------------------------------------------------

TsuiMainMenu::TsuiMainMenu(QWidget* owner)
    : TsuiMenu(owner)
{
    AttachToForm(owner);
}

void TsuiMainMenu::AttachToForm(QWidget* owner)
{
    if (!owner || !owner->isWindow())
        return;
    for (QObject* child : owner->children()) {
        auto* frame = qobject_cast<QWidget*>(child);
        if (!frame || !InheritsClass(frame, QStringLiteral("TsuiForm")))
            continue;
        form_ = frame;
        if (HasPublishedProperty(frame, QStringLiteral("Menu")))
            SetPublishedProperty(frame, QStringLiteral("Menu"), QVariant::fromValue(this));
        return;
    }
}

void TsuiMainMenu::WatchSubmenus()
{
    ForEachSubmenu(this, [this](QMenu* sub) {
        sub->removeEventFilter(this);   // installed once
        sub->installEventFilter(this);
    });
}

bool TsuiMainMenu::event(QEvent* event)
{
    const auto type = event->type();
    const bool result = TsuiMenu::event(event);
    if (type == QEvent::ActionAdded || type == QEvent::ActionRemoved || type == QEvent::ActionChanged) {
        WatchSubmenus();
        Q_EMIT ItemsChanged();
    }
    return result;
}

bool TsuiMainMenu::eventFilter(QObject* watched, QEvent* event)
{
    const auto type = event->type();
    if (type == QEvent::ActionAdded || type == QEvent::ActionRemoved || type == QEvent::ActionChanged) {
        InstallHandlers();
        WatchSubmenus();
        Q_EMIT ItemsChanged();
    }
    return TsuiMenu::eventFilter(watched, event);
}

QIcon TsuiMainMenu::ItemImage(const QStyleOptionMenuItem& item) const
{
    if (!item.icon.isNull())
        return item.icon;
    const bool checked = item.checkType != QStyleOptionMenuItem::NotCheckable && item.checked;
    return checked ? QIcon(QPixmap::fromImage(MenuCheckMark())) : QIcon();
}

} // namespace parvelle
