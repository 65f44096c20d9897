#include "Controls.h"

#include "Fonts.h"

#include "skin/ButtonPaint.h"
#include "skin/ControlAlign.h"
#include "skin/FocusOutline.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>

namespace parvelle {

namespace {
template <class Widget>
Widget* Place(Widget* widget, const QString& name, QRect geometry)
{
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

void SetBackground(QWidget* widget, QColor color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}
} // namespace

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

namespace {
class AccessibleLink : public QAccessibleWidget {
public:
    explicit AccessibleLink(LinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<LinkLabel*>(widget())->text().simplified();
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.linked = true;
        return state;
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& name) override
    {
        if (name == pressAction())
            Q_EMIT static_cast<LinkLabel*>(widget())->clicked();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* LinkInterface(const QString&, QObject* object)
{
    auto* link = qobject_cast<LinkLabel*>(object);
    return link ? new AccessibleLink(link) : nullptr;
}
} // namespace

LinkLabel::LinkLabel(QWidget* parent) : ClickLabel(parent)
{
    static const bool installed = (QAccessible::installFactory(LinkInterface), true);
    Q_UNUSED(installed);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::keyPressEvent(QKeyEvent* event)
{
    if (IsActivationKey(event->key()))
        Q_EMIT clicked();
    else
        ClickLabel::keyPressEvent(event);
}

void LinkLabel::paintEvent(QPaintEvent* event)
{
    ClickLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        DrawFocusRectangle(painter, rect());
    }
}

ShapeWidget::ShapeWidget(QWidget* parent, QColor brush, int penWidth, bool rounded)
    : QWidget(parent), brush_(brush), penWidth_(penWidth), rounded_(rounded)
{
}

void ShapeWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, rounded_);
    painter.setPen(QPen(Qt::black, penWidth_));
    painter.setBrush(brush_);
    const qreal inset = penWidth_ / 2.0;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    if (rounded_)
        painter.drawRoundedRect(box, height() / 4.0, height() / 4.0);
    else
        painter.drawRect(box);
}

TitleBarNote::TitleBarNote(TsuiTitleBar* titleBar) : QLabel(titleBar), titleBar_(titleBar)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    titleBar_->installEventFilter(this);
    place();
}

void TitleBarNote::setNote(const QString& note, const QString& toolTip)
{
    note_ = note;
    titleBar_->setToolTip(toolTip);
    place();
}

bool TitleBarNote::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == titleBar_ && (event->type() == QEvent::Resize || event->type() == QEvent::FontChange))
        place();
    return QLabel::eventFilter(watched, event);
}

void TitleBarNote::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(ToQColor(titleBar_->CaptionColor()));
    painter.drawText(rect(), int(alignment()), text());
}

// From after the caption to before the first button, the text cut to fit.
void TitleBarNote::place()
{
    const TitleBarLayout layout = titleBar_->Arrange(titleBar_->width());
    const int captionEnd = layout.captionLeft
        + QFontMetrics(titleBar_->font()).horizontalAdvance(titleBar_->FittedCaption(layout));
    constexpr int kGap = 12;
    const QRect space(captionEnd + kGap, 0, std::max(0, layout.captionRight - captionEnd - 2 * kGap),
                      titleBar_->height());
    setGeometry(space);
    setText(fontMetrics().elidedText(note_, Qt::ElideRight, space.width()));
}

TsuiForm* MakeFrame(QWidget* form, const QString& name, const QString& caption, QSize size)
{
    auto* frame = new TsuiForm(form);
    frame->setObjectName(name);
    frame->SetUIStyle(WinXP);   // the border, its width, the colours and the round corners
    frame->SetUIStyleAutoUpdateSub(false);
    frame->SetTitleBarCustom(false);
    frame->SetCaption(caption);
    frame->SetFont(DesignFont(QStringLiteral("Tahoma"), 11, true));
    frame->SetTitleBarDrawAppIcon(true);
    frame->SetMenuBarHeight(22);
    // The frame takes the form's client area less the border on three sides.
    form->resize(size.width() + 2 * frame->BorderWidth(), size.height() + frame->BorderWidth());
    return frame;
}

namespace {
// Ctrl+Tab / Ctrl+PageDown show the next page, Ctrl+Shift+Tab / Ctrl+PageUp the previous
// one, from anywhere in the window and round from the last page to the first.
void AddPageKeys(TsuiPageControl* pages)
{
    const auto step = [pages](int by) {
        const int count = pages->PageCount();
        const int current = pages->ActivePage() ? pages->ActivePage()->PageIndex() : 0;
        pages->ActivatePageIndex((current + by + count) % count);
    };
    const auto add = [pages](QKeyCombination key, auto action) {
        auto* shortcut = new QShortcut(QKeySequence(key), pages);
        QObject::connect(shortcut, &QShortcut::activated, pages, action);
    };
    for (QKeyCombination key : {Qt::CTRL | Qt::Key_Tab, Qt::CTRL | Qt::Key_PageDown})
        add(key, [step] { step(1); });
    // Shift+Tab arrives as Backtab from most keyboards.
    for (QKeyCombination key : {Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab,
                                Qt::CTRL | Qt::Key_PageUp})
        add(key, [step] { step(-1); });
}
} // namespace

TsuiPageControl* MakePageControl(QWidget* parent, const QString& name)
{
    auto* pages = new TsuiPageControl(parent);
    pages->setObjectName(name);
    pages->SetUIStyle(WinXP);   // the border colour
    pages->SetLeftMargin(10);
    pages->SetColor(clWhite);
    SetControlAlign(pages, alClient);
    AddPageKeys(pages);
    return pages;
}

TsuiTabSheet* MakeTabSheet(TsuiPageControl* pages, const QString& name, const QString& caption)
{
    auto* sheet = new TsuiTabSheet(pages);
    sheet->setObjectName(name);
    sheet->SetCaption(caption);
    sheet->SetColor(clWhite);
    return sheet;
}

TsuiListView* MakeListView(QWidget* parent, const QString& name, QRect geometry, const QStringList& columns)
{
    auto* view = Place(new TsuiListView(parent), name, geometry);
    view->SetUIStyle(WinXP);   // the border colour
    view->SetColor(ToTColor(QColor(255, 251, 240)));
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAllColumnsShowFocus(true);
    view->setHeaderLabels(columns);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionResizeMode(QHeaderView::Interactive);
    for (int column = 0; column < columns.size(); ++column)
        view->resizeColumnToContents(column);
    ShowKeyboardFocus(view);
    return view;
}

TsuiButton* MakeButton(QWidget* parent, const QString& name, const QString& caption, QRect geometry)
{
    auto* button = new TsuiButton(parent);
    button->SetUIStyle(WinXP);
    button->SetCaption(caption);
    button->SetTransparent(false);
    button->SetLayout(blGlyphLeft);
    button->SetSpacing(4);
    button->SetFocusedRectMargin(2);
    return Place(button, name, geometry);
}

TsuiCheckBox* MakeCheckBox(QWidget* parent, const QString& name, const QString& caption, QPoint position,
                           const QFont& font)
{
    auto* box = new TsuiCheckBox(parent);
    box->setObjectName(name);
    box->SetUIStyle(WinXP);
    box->setFont(font);
    box->SetCaption(caption);
    box->SetTransparent(true);
    box->move(position);
    box->SetAutoSize(true);
    return box;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                  const QFont& font, Qt::Alignment alignment)
{
    auto* label = Place(new QLabel(caption, parent), name, geometry);
    label->setFont(font);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText);
    return label;
}

LinkLabel* MakeLinkLabel(QWidget* parent, const QString& name, const QString& caption,
                         QRect geometry, QColor color, const QString& target)
{
    auto* label = Place(new LinkLabel(parent), name, geometry);
    label->setTarget(target);
    label->setText(caption);
    QFont font = DesignFont(QStringLiteral("MS Sans Serif"), 11);
    font.setUnderline(true);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

ClickLabel* MakeImage(QWidget* parent, const QString& name, QRect geometry, const QPixmap& picture)
{
    auto* image = Place(new ClickLabel(parent), name, geometry);
    image->setPixmap(picture);
    return image;
}

LinkLabel* MakePictureLink(QWidget* parent, const QString& name, QRect geometry, const QPixmap& picture,
                           const QString& description, const QString& target)
{
    auto* link = Place(new LinkLabel(parent), name, geometry);
    link->setTarget(target);
    link->setPixmap(picture);
    link->setAccessibleName(description);
    return link;
}

QListView* MakeCheckListBox(QWidget* parent, const QString& name, QRect geometry, QAbstractItemModel* model)
{
    auto* list = Place(new QListView(parent), name, geometry);
    list->setModel(model);
    list->setUniformItemSizes(true);   // rows are laid out without asking each one its size
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ShowKeyboardFocus(list);
    return list;
}

QComboBox* MakeComboBox(QWidget* parent, const QString& name, QRect geometry)
{
    auto* combo = Place(new QComboBox(parent), name, geometry);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

QScrollArea* MakeScrollBox(QWidget* parent, const QString& name, QRect geometry, int contentHeight)
{
    auto* box = Place(new QScrollArea(parent), name, geometry);
    box->setFrameShape(QFrame::NoFrame);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* content = new QWidget;
    content->setObjectName(name + QStringLiteral("Content"));
    SetBackground(content, Qt::white);
    content->resize(geometry.width() - box->verticalScrollBar()->sizeHint().width(), contentHeight);
    box->setWidget(content);
    ShowKeyboardFocus(box);
    return box;
}

ShapeWidget* MakeShape(QWidget* parent, const QString& name, QRect geometry, QColor brush,
                       int penWidth, bool rounded)
{
    return Place(new ShapeWidget(parent, brush, penWidth, rounded), name, geometry);
}

TRotateLabel* MakeRotateLabel(QWidget* parent, const QString& name, const QString& caption,
                              QRect geometry, int escapement, TTextStyle style, const QFont& font)
{
    auto* label = new TRotateLabel(parent);
    label->setFont(font);
    label->SetAutoSize(false);
    label->SetCaption(caption);
    label->SetEscapement(escapement);
    label->SetTextStyle(style);
    label->SetTransparent(true);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return Place(label, name, geometry);
}

TsuiThemeManager* MakeThemeManager(QWidget* form, const QString& name, const QList<QObject*>& components)
{
    auto* manager = new TsuiThemeManager(form);
    manager->setObjectName(name);
    manager->SetUIStyle(WinXP);   // before the list, so that loading restyles nothing
    manager->SetComponents(components);
    return manager;
}

} // namespace parvelle
