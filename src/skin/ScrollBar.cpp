#include "ScrollBar.h"

#include "Accessibility.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace parvelle {

namespace {
constexpr int kPageRepeatMs = 100;
constexpr int kArrowRepeatMs = 100;
constexpr int kMinThumbLength = 18;
} // namespace

TsuiScrollTrackBar::TsuiScrollTrackBar(QWidget* parent)
    : QWidget(parent)
    , thumb_(new TsuiImagePanel(this))
{
    InstallSkinAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    // The track decides what a press on the thumb means.
    thumb_->setAttribute(Qt::WA_TransparentForMouseEvents);
    thumb_->SetAutoSize(true);
}

TsuiScrollTrackBar::~TsuiScrollTrackBar() = default;

void TsuiScrollTrackBar::SetMin(int value)
{
    if (value == min_)
        return;
    min_ = std::min(value, max_);
    position_ = std::clamp(position_, min_, max_);
    PositionChanged();
}

void TsuiScrollTrackBar::SetMax(int value)
{
    if (value == max_)
        return;
    max_ = std::max(value, min_);
    position_ = std::clamp(position_, min_, max_);
    PositionChanged();
}

void TsuiScrollTrackBar::SetPosition(int value)
{
    if (value == position_)
        return;
    position_ = std::clamp(value, min_, max_);
    PositionChanged();
}

void TsuiScrollTrackBar::SetPageSize(int value)
{
    if (value >= 0 && value <= max_)
        pageSize_ = value;
}

void TsuiScrollTrackBar::SetOrientation(TsuiProgressBarOrientation orientation)
{
    orientation_ = orientation;
}

void TsuiScrollTrackBar::SetColor(TColor color)
{
    color_ = color;
    update();
}

void TsuiScrollTrackBar::SetSliderImage(const QImage& image)
{
    thumb_->SetPicture(image);
    FitThickness();
    PositionChanged();
}

QPoint TsuiScrollTrackBar::ThumbOrigin() const
{
    const bool horizontal = Horizontal();
    const int across = horizontal ? height() - thumb_->height() : width() - thumb_->width();
    const int free = horizontal ? width() - thumb_->width() : height() - thumb_->height();
    const int along = max_ == min_ ? 0 : int(int64_t(position_ - min_) * free / (max_ - min_));
    const int side = std::max(across, 0) / 2;
    return horizontal ? QPoint(along, side) : QPoint(side, along);
}

int TsuiScrollTrackBar::PositionAt(const QPoint& point) const
{
    const int thumbLength = Horizontal() ? thumb_->width() : thumb_->height();
    const int free = (Horizontal() ? width() : height()) - thumbLength;
    if (free == 0)
        return 0;
    // Rounded to nearest, halves to even (the default rounding mode).
    const double offset = double(Along(point) - thumbLength / 2) * (max_ - min_) / free;
    return min_ + int(std::nearbyint(offset));
}

void TsuiScrollTrackBar::PositionChanged()
{
    thumb_->move(ThumbOrigin());
    update();
    ReportChange();
}

void TsuiScrollTrackBar::ReportChange()
{
    if (position_ == lastReported_)
        return;
    positionDelta_ = position_ - lastReported_;
    lastReported_ = position_;
    AccessibleValueChanged(this, position_);
    Q_EMIT OnChange();
}

void TsuiScrollTrackBar::FitThickness()
{
    // The scroll variant has no bar image: the thumb alone sets the thickness.
    if (Horizontal() && height() != thumb_->height())
        resize(width(), thumb_->height());
    else if (!Horizontal() && width() != thumb_->width())
        resize(thumb_->width(), height());
}

void TsuiScrollTrackBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(color_));
}

void TsuiScrollTrackBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FitThickness();
    PositionChanged();
}

void TsuiScrollTrackBar::PageTowards(const QPoint& pointer, int pages)
{
    const int origin = Along(ThumbOrigin());
    const int along = Along(pointer);
    if (along > origin)
        SetPosition(std::min(position_ + pages * pageSize_, PositionAt(pointer)));
    else if (along < origin)
        SetPosition(std::max(position_ - pages * pageSize_, PositionAt(pointer)));
}

void TsuiScrollTrackBar::PageRepeatTick()
{
    PageTowards(pointer_, Horizontal() ? 3 : 1);
}

void TsuiScrollTrackBar::mousePressEvent(QMouseEvent* event)
{
    pointer_ = event->position().toPoint();
    if (thumb_->geometry().contains(pointer_)) {
        // The press's implicit grab sends the following moves here.
        dragging_ = true;
        setFocus(Qt::MouseFocusReason);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    PageTowards(pointer_, 1);
    if (!pageTimer_)
        pageTimer_ = clock_->start(kPageRepeatMs, [this] { PageRepeatTick(); });
    setFocus(Qt::MouseFocusReason);
}

void TsuiScrollTrackBar::mouseMoveEvent(QMouseEvent* event)
{
    pointer_ = event->position().toPoint();
    if (dragging_) {
        position_ = std::clamp(PositionAt(pointer_), min_, max_);
        thumb_->move(ThumbOrigin());
        ReportChange();
    } else if (!rect().contains(pointer_)) {
        pageTimer_.reset();
    }
}

void TsuiScrollTrackBar::mouseReleaseEvent(QMouseEvent*)
{
    pageTimer_.reset();
    dragging_ = false;
}

void TsuiScrollTrackBar::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_PageUp: SetPosition(position_ - pageSize_); break;
    case Qt::Key_PageDown: SetPosition(position_ + pageSize_); break;
    case Qt::Key_End: SetPosition(max_); break;
    case Qt::Key_Home: SetPosition(min_); break;
    case Qt::Key_Left:
    case Qt::Key_Up: SetPosition(position_ - lineSize_); break;
    case Qt::Key_Right:
    case Qt::Key_Down: SetPosition(position_ + lineSize_); break;
    default: QWidget::keyPressEvent(event); return;
    }
}

// ---------------------------------------------------------------------------------------

TsuiScrollBar::TsuiScrollBar(QWidget* parent)
    : QWidget(parent)
    , track_(new TsuiScrollTrackBar(this))
    , back_(new TsuiImageButton(this))
    , forward_(new TsuiImageButton(this))
{
    InstallSkinAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (TsuiImageButton* button : {back_, forward_}) {
        button->SetTabStop(false);
        button->SetMouseContinuouslyDownInterval(kArrowRepeatMs);
    }
    connect(back_, &TsuiCustomButton::OnMouseContinuouslyDown, this,
            [this] { SetPosition(Position() - smallChange_); });
    connect(forward_, &TsuiCustomButton::OnMouseContinuouslyDown, this,
            [this] { SetPosition(Position() + smallChange_); });
    connect(track_, &TsuiScrollTrackBar::OnChange, this, [this] {
        AccessibleValueChanged(this, Position());
        Q_EMIT OnChange();
    });
    uiStyle_ = OwnerFormUIStyle(parent ? parent->window() : nullptr);
    SetUIStyle(uiStyle_);
}

void TsuiScrollBar::SetFileTheme(TsuiFileTheme* fileTheme)
{
    fileTheme_.set(fileTheme, this, [this] { SetUIStyle(DeepBlue); });
    SetUIStyle(uiStyle_);
}

void TsuiScrollBar::SetUIStyle(TsuiUIStyle style)
{
    uiStyle_ = style;
    track_->SetColor(color_);
    LoadImages();
    LayoutParts();
}

void TsuiScrollBar::SetLineButton(int value)
{
    if (value == lineButton_)
        return;
    if (value > LengthOf(*this) - LengthOf(*back_) - LengthOf(*forward_))
        return;
    lineButton_ = value;
    UpdateThumb();
}

void TsuiScrollBar::SetOrientation(TsuiProgressBarOrientation orientation)
{
    if (orientation == orientation_)
        return;
    orientation_ = orientation;
    AccessibleNameChanged(this);
    LoadImages();
    LayoutParts();
}

void TsuiScrollBar::SetColor(TColor color)
{
    color_ = color;
    track_->SetColor(color);
    update();
}

void TsuiScrollBar::SetPageSize(int value)
{
    track_->SetPageSize(value);
    UpdateThumb();
}

void TsuiScrollBar::SetRepeatClock(RepeatClock* clock)
{
    track_->SetRepeatClock(clock);
    back_->SetRepeatClock(clock);
    forward_->SetRepeatClock(clock);
}

void TsuiScrollBar::LoadImages()
{
    const TsuiFileTheme* theme = FileTheme();
    SetColor(ThemeColor(theme, uiStyle_, ThemeItem::ScrollBarBackgroundColor));
    for (int i = 0; i < 3; ++i)
        ThemeBitmap(theme, uiStyle_, ThemeItem::ScrollBarSliderImage, thumbPieces_[size_t(i)], i + 1, 3);
    for (int k = 1; k <= 6; ++k) {
        QImage arrow;
        ThemeBitmap(theme, uiStyle_, ThemeItem::ScrollBarButtonImage, arrow, k, 6);
        if (Horizontal())
            RotateBitmapLeft(arrow);
        TsuiImageButton* button = k <= 3 ? back_ : forward_;
        button->SetPicture(ButtonFace((k - 1) % 3), arrow);
    }
    if (!Horizontal())
        for (QImage& piece : thumbPieces_)
            RotateBitmapRight(piece);
    back_->SetAutoSize(true);
    forward_->SetAutoSize(true);
    update();
}

void TsuiScrollBar::LayoutParts()
{
    track_->SetOrientation(orientation_);
    if (width() == 0 || height() == 0) {
        hide();
        return;
    }
    if (parentWidget())   // a top-level bar is shown by its owner
        show();
    if (Horizontal()) {
        back_->move(0, 0);
        track_->setGeometry(back_->width(), 0, width() - forward_->width() - back_->width(),
                            track_->height());
        forward_->move(width() - forward_->width(), 0);
        resize(width(), back_->height());
    } else {
        back_->move(0, 0);
        track_->setGeometry(0, back_->height(), track_->width(),
                            height() - forward_->height() - back_->height() - 1);
        forward_->move(0, height() - forward_->height());
        resize(back_->width(), height());
    }
    UpdateThumb();
}

QImage TsuiScrollBar::ComposeThumb(int length) const
{
    const QImage& start = thumbPieces_[0];
    const QImage& middle = thumbPieces_[1];
    const QImage& end = thumbPieces_[2];
    const bool horizontal = Horizontal();
    const int thickness = horizontal ? start.height() : start.width();
    if (thickness <= 0 || length <= 0)
        return {};
    QImage thumb(horizontal ? QSize(length, thickness) : QSize(thickness, length), QImage::Format_RGB32);
    thumb.fill(ToQColor(color_));
    QPainter painter(&thumb);
    if (horizontal) {
        const QRect between = RectLTRB(start.width(), 0, length - end.width(), thickness);
        if (between.width() > 0)
            painter.drawImage(between, middle);
        painter.drawImage(length - end.width(), 0, end);
    } else {
        const QRect between = RectLTRB(0, start.height(), thickness, length - end.height());
        if (between.height() > 0)
            painter.drawImage(between, middle);
        painter.drawImage(0, length - end.height(), end);
    }
    painter.drawImage(0, 0, start);
    return thumb;
}

void TsuiScrollBar::UpdateThumb()
{
    int length = 0;
    if (lineButton_ > 0) {
        lineButton_ = std::max(lineButton_, kMinThumbLength);
        length = lineButton_;
    } else {
        int page = PageSize();
        if (page < 10 || page > 100)
            page = 10;
        length = page * LengthOf(*track_) / 100;
    }
    track_->SetSliderImage(ComposeThumb(length));
}

void TsuiScrollBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(color_));
}

void TsuiScrollBar::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayoutParts();
}

} // namespace parvelle
