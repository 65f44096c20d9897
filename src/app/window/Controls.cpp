#include "Controls.h"

#include "Fonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QTreeWidget>
#include <QtMath>

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

constexpr int kTitleBarHeight = 29;
} // namespace

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
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

RotatedLabel::RotatedLabel(QWidget* parent, const QString& caption, int escapement, TextStyle style)
    : QWidget(parent), caption_(caption), escapement_(escapement), style_(style)
{
}

void RotatedLabel::SetCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

void RotatedLabel::SetEscapement(int escapement)
{
    escapement_ = escapement;
    update();
}

void RotatedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font());
    // Escapement is in degrees counter-clockwise; a turned caption is one line, centred.
    const bool turned = escapement_ % 360 != 0;
    const bool sideways = qAbs(qSin(qDegreesToRadians(qreal(escapement_)))) > 0.7;
    const QSizeF box = sideways ? QSizeF(height(), width()) : QSizeF(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    painter.rotate(-escapement_);
    const QRectF area(-box.width() / 2, -box.height() / 2, box.width(), box.height());
    const int flags = Qt::AlignCenter | (turned ? Qt::TextSingleLine : Qt::TextWordWrap);
    if (style_ != tsNone) {
        const QColor highlight = palette().color(QPalette::Light);
        const QColor shadow = palette().color(QPalette::Dark);
        painter.setPen(style_ == tsRaised ? shadow : highlight);
        painter.drawText(area.translated(1, 1), flags, caption_);
        painter.setPen(style_ == tsRaised ? highlight : shadow);
        painter.drawText(area.translated(-1, -1), flags, caption_);
    }
    painter.setPen(isEnabled() ? color_ : palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(area, flags, caption_);
}

QWidget* makeFrame(QWidget* parent, const QString& name, const QString& caption, QRect geometry)
{
    auto* frame = Place(new QWidget(parent), name, geometry);
    SetBackground(frame, QColor(239, 235, 222));
    auto* title = makeLabel(frame, name + QStringLiteral("TitleBar"), caption,
                            QRect(0, 0, geometry.width(), kTitleBarHeight),
                            DesignFont(QStringLiteral("Tahoma"), 11, true),
                            Qt::AlignLeft | Qt::AlignVCenter);
    title->setIndent(8);
    SetBackground(title, QColor(0, 44, 200));
    QPalette palette = title->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    title->setPalette(palette);
    return frame;
}

PageControl::PageControl(QWidget* parent)
    : QWidget(parent), tabs_(new QTabBar(this)), pages_(new QStackedWidget(this))
{
    tabs_->setDrawBase(false);
    tabs_->setExpanding(false);
    tabs_->setFocusPolicy(Qt::TabFocus);
    connect(tabs_, &QTabBar::currentChanged, pages_, &QStackedWidget::setCurrentIndex);
    SetBackground(this, Qt::white);
    AddPageKeys();
}

// Ctrl+Tab / Ctrl+PageDown show the next page, Ctrl+Shift+Tab / Ctrl+PageUp the previous
// one, from anywhere in the window and round from the last page to the first.
void PageControl::AddPageKeys()
{
    const auto step = [this](int by) { setCurrentIndex((currentIndex() + by + count()) % count()); };
    const auto add = [this](QKeyCombination key, auto action) {
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, action);
    };
    for (QKeyCombination key : {Qt::CTRL | Qt::Key_Tab, Qt::CTRL | Qt::Key_PageDown})
        add(key, [step] { step(1); });
    // Shift+Tab arrives as Backtab from most keyboards.
    for (QKeyCombination key : {Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab,
                                Qt::CTRL | Qt::Key_PageUp})
        add(key, [step] { step(-1); });
}

void PageControl::addPage(QWidget* page, const QString& caption)
{
    pages_->addWidget(page);
    tabs_->addTab(caption);
}

int PageControl::count() const { return tabs_->count(); }
int PageControl::currentIndex() const { return tabs_->currentIndex(); }
void PageControl::setCurrentIndex(int index) { tabs_->setCurrentIndex(index); }
QString PageControl::tabText(int index) const { return tabs_->tabText(index); }
QWidget* PageControl::page(int index) const { return pages_->widget(index); }

void PageControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    tabs_->setGeometry(kMargin - 1, 0, width() - 2 * kMargin + 2, kTabHeight);
    pages_->setGeometry(kMargin, kTabHeight, width() - 2 * kMargin, height() - kTabHeight - kMargin);
}

void PageControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QColor(104, 104, 104));
    painter.drawRect(QRect(0, kTabHeight - 1, width() - 1, height() - kTabHeight));
}

PageControl* makePageControl(QWidget* parent, const QString& name, QRect geometry)
{
    return Place(new PageControl(parent), name, geometry);
}

QWidget* makeTabSheet(PageControl* pages, const QString& name, const QString& caption)
{
    auto* sheet = new QWidget;
    sheet->setObjectName(name);
    SetBackground(sheet, Qt::white);
    pages->addPage(sheet, caption);
    return sheet;
}

QTreeWidget* makeListView(QWidget* parent, const QString& name, QRect geometry,
                          const QStringList& columns)
{
    auto* view = Place(new QTreeWidget(parent), name, geometry);
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
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, QColor(255, 251, 240));
    view->setPalette(palette);
    return view;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect geometry)
{
    return Place(new QPushButton(caption, parent), name, geometry);
}

QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption, QRect geometry)
{
    return Place(new QCheckBox(caption, parent), name, geometry);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, QRect geometry,
                  const QFont& font, Qt::Alignment alignment)
{
    auto* label = Place(new QLabel(caption, parent), name, geometry);
    label->setFont(font);
    label->setAlignment(alignment);
    label->setTextFormat(Qt::PlainText);
    return label;
}

ClickLabel* makeLinkLabel(QWidget* parent, const QString& name, const QString& caption,
                          QRect geometry, QColor color)
{
    auto* label = Place(new ClickLabel(caption, parent), name, geometry);
    QFont font = DesignFont(QStringLiteral("MS Sans Serif"), 11);
    font.setUnderline(true);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

ClickLabel* makeImage(QWidget* parent, const QString& name, QRect geometry, const QPixmap& picture)
{
    auto* image = Place(new ClickLabel(parent), name, geometry);
    image->setPixmap(picture);
    return image;
}

QListView* makeCheckListBox(QWidget* parent, const QString& name, QRect geometry, QAbstractItemModel* model)
{
    auto* list = Place(new QListView(parent), name, geometry);
    list->setModel(model);
    list->setUniformItemSizes(true);   // rows are laid out without asking each one its size
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return list;
}

QComboBox* makeComboBox(QWidget* parent, const QString& name, QRect geometry)
{
    auto* combo = Place(new QComboBox(parent), name, geometry);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

QScrollArea* makeScrollBox(QWidget* parent, const QString& name, QRect geometry, int contentHeight)
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
    return box;
}

ShapeWidget* makeShape(QWidget* parent, const QString& name, QRect geometry, QColor brush,
                       int penWidth, bool rounded)
{
    return Place(new ShapeWidget(parent, brush, penWidth, rounded), name, geometry);
}

RotatedLabel* makeRotateLabel(QWidget* parent, const QString& name, const QString& caption,
                              QRect geometry, int escapement, TextStyle style, const QFont& font)
{
    auto* label = Place(new RotatedLabel(parent, caption, escapement, style), name, geometry);
    label->setFont(font);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

} // namespace parvelle
