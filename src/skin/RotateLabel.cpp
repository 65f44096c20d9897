#include "RotateLabel.h"

#include "Accessibility.h"
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <cmath>
#include <numbers>

namespace parvelle {

namespace {

double Radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

int Trunc(double value)
{
    return static_cast<int>(std::trunc(value));
}

int HorizontalFlag(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify: return Qt::AlignRight;
    case taCenter: return Qt::AlignHCenter;
    case taLeftJustify: break;
    }
    return Qt::AlignLeft;
}

// The label's own text layout at 0 degrees.
int UnrotatedFlags(const RotateLabelLook& look)
{
    return Qt::AlignTop | Qt::TextExpandTabs | HorizontalFlag(look.alignment)
        | (look.wordWrap ? Qt::TextWordWrap : 0) | (look.showAccelChar ? Qt::TextShowMnemonic : 0);
}

// One copy of the caption with its top-left corner at Offset.
void DrawCaption(QPainter& canvas, const RotateLabelLook& look, QPoint offset, const QColor& color)
{
    canvas.setPen(color);
    const QRect rect = QRect(QPoint(0, 0), look.size).translated(offset);
    if (look.escapement == 0) {
        canvas.drawText(rect, UnrotatedFlags(look), look.caption);
        return;
    }
    const QFontMetrics metrics(look.font);
    const int w = metrics.horizontalAdvance(look.caption), h = metrics.height();
    QPoint origin = rect.topLeft() + RotatedTextOrigin(look.escapement, w, h);
    if (!look.autoSize) {
        const int turnedWidth = RotatedTextSize(look.escapement, w, h).width();
        if (look.alignment == taCenter)
            origin.rx() += (look.size.width() - turnedWidth) / 2;
        else if (look.alignment == taRightJustify)
            origin.rx() += look.size.width() - turnedWidth;
    }
    canvas.save();
    canvas.translate(origin);
    canvas.rotate(-look.escapement);   // counter-clockwise on a y-down canvas
    canvas.drawText(QPoint(0, metrics.ascent()), look.caption);
    canvas.restore();
}

} // namespace

int NormalizedEscapement(int degrees)
{
    if (degrees < 0) {
        degrees %= 360;
        return degrees < 0 ? degrees + 360 : degrees;
    }
    return degrees > 360 ? (degrees - 1) % 360 + 1 : degrees;
}

QPoint RotatedTextOrigin(int angle, int w, int h)
{
    const double a = angle;
    if (angle <= 90)
        return QPoint(0, Trunc(std::sin(Radians(a)) * w));
    if (angle <= 180)
        return QPoint(Trunc(-std::cos(Radians(a)) * w),
                      Trunc(std::sin(Radians(a)) * w + std::cos(Radians(180 - a)) * h));
    if (angle <= 270)
        return QPoint(Trunc(std::sin(Radians(a - 180)) * h - std::cos(Radians(a)) * w),
                      Trunc(std::sin(Radians(270 - a)) * h));
    return QPoint(Trunc(std::sin(Radians(360 - a)) * h), 0);
}

QSize RotatedTextSize(int angle, int w, int h)
{
    const double s = std::sin(Radians(angle)), c = std::cos(Radians(angle));
    return QSize(std::abs(Trunc(c * w)) + std::abs(Trunc(s * h)),
                 std::abs(Trunc(s * w)) + std::abs(Trunc(c * h)));
}

void PaintRotateLabel(QPainter& canvas, const RotateLabelLook& look)
{
    if (!look.transparent)
        canvas.fillRect(QRect(QPoint(0, 0), look.size), look.color);
    canvas.setFont(look.font);
    if (look.textStyle != tsNone) {
        const bool raised = look.textStyle == tsRaised;
        DrawCaption(canvas, look, QPoint(1, 1), ToQColor(raised ? clBtnShadow : clBtnHighlight));
        DrawCaption(canvas, look, QPoint(-1, -1), ToQColor(raised ? clBtnHighlight : clBtnShadow));
    }
    DrawCaption(canvas, look, QPoint(0, 0), look.enabled ? look.textColor : ToQColor(clGrayText));
}

TRotateLabel::TRotateLabel(QWidget* parent)
    : QWidget(parent)
{
    InstallSkinAccessibility();
    QFont arial = font();
    arial.setFamily(QStringLiteral("Arial"));
    setFont(arial);
}

void TRotateLabel::SetEscapement(int degrees)
{
    if (degrees == escapement_)
        return;
    escapement_ = NormalizedEscapement(degrees);
    UpdateAutoSize();
    update();
}

void TRotateLabel::SetTextStyle(TTextStyle style)
{
    if (style == textStyle_)
        return;
    textStyle_ = style;
    update();
}

void TRotateLabel::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    update();
}

void TRotateLabel::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    UpdateAutoSize();
    update();
}

void TRotateLabel::SetCaption(const QString& caption)
{
    caption_ = caption;
    AccessibleNameChanged(this);
    UpdateAutoSize();
    update();
}

void TRotateLabel::SetColor(TColor color)
{
    color_ = color;
    update();
}

void TRotateLabel::SetShowAccelChar(bool show)
{
    showAccelChar_ = show;
    update();
}

void TRotateLabel::SetTransparent(bool transparent)
{
    transparent_ = transparent;
    update();
}

void TRotateLabel::SetWordWrap(bool wrap)
{
    wordWrap_ = wrap;
    UpdateAutoSize();
    update();
}

// Turned: the turned text's size. At 0 degrees: the text's size, or with word wrap the
// height of the text wrapped at the label's width.
void TRotateLabel::UpdateAutoSize()
{
    if (!autoSize_)
        return;
    const QFontMetrics metrics(font());
    if (escapement_ != 0) {
        resize(RotatedTextSize(escapement_, metrics.horizontalAdvance(caption_), metrics.height()));
        return;
    }
    const int flags = Qt::TextExpandTabs | (showAccelChar_ ? Qt::TextShowMnemonic : 0);
    if (wordWrap_)
        resize(width(), metrics.boundingRect(QRect(0, 0, width(), 1 << 20), flags | Qt::TextWordWrap, caption_).height());
    else
        resize(metrics.size(flags, caption_));
}

void TRotateLabel::paintEvent(QPaintEvent*)
{
    RotateLabelLook look;
    look.size = size();
    look.caption = caption_;
    look.font = font();
    look.textColor = palette().color(QPalette::Active, QPalette::WindowText);
    look.enabled = isEnabled();
    look.transparent = transparent_;
    look.color = ToQColor(color_);
    look.escapement = escapement_;
    look.textStyle = textStyle_;
    look.alignment = alignment_;
    look.autoSize = autoSize_;
    look.wordWrap = wordWrap_;
    look.showAccelChar = showAccelChar_;
    QPainter painter(this);
    PaintRotateLabel(painter, look);
}

void TRotateLabel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateAutoSize();
        update();
    }
}

} // namespace parvelle
