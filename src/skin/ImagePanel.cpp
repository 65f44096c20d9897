#include "ImagePanel.h"

#include "Accessibility.h"
#include <QEvent>
#include <QPainter>
#include <QPixmap>

namespace parvelle {

TsuiCustomPanel::TsuiCustomPanel(QWidget* parent)
    : QWidget(parent)
{
    InstallSkinAccessibility();
    // Every paint covers the whole panel from an off-screen buffer; nothing is erased.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

void TsuiCustomPanel::SetPicture(const QImage& picture)
{
    picture_ = picture;
    PictureChanged();
}

void TsuiCustomPanel::PictureChanged()
{
    MakeDrawnPicture();
    AdjustSize();
    update();
}

void TsuiCustomPanel::SetDrawStyle(TsuiDrawStyle style)
{
    drawStyle_ = style;
    update();
}

void TsuiCustomPanel::SetTransparent(bool transparent)
{
    transparent_ = transparent;
    MakeDrawnPicture();
    update();
}

void TsuiCustomPanel::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    AdjustSize();
}

void TsuiCustomPanel::SetAlign(TAlign align)
{
    SetControlAlign(this, align);
}

void TsuiCustomPanel::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    update();
}

void TsuiCustomPanel::SetCaption(const QString& caption)
{
    if (caption == caption_)
        return;
    const QRect lastCaptionRect = CaptionRect();
    caption_ = caption;
    AccessibleNameChanged(this);
    Q_EMIT CaptionChanged(lastCaptionRect);
    update();
}

void TsuiCustomPanel::SetColor(TColor color)
{
    color_ = color;
    update();
}

void TsuiCustomPanel::SetCaptionPosition(const QPoint& position)
{
    captionPosition_ = position;
    update();
}

// Width follows the picture unless the alignment fixes it, height likewise; the parent
// then realigns its children around the new size.
void TsuiCustomPanel::AdjustSize()
{
    if (!autoSize_ || picture_.isNull())
        return;
    const TAlign align = Align();
    const bool widthFixed = align == alTop || align == alBottom || align == alClient;
    const bool heightFixed = align == alLeft || align == alRight || align == alClient;
    resize(widthFixed ? width() : picture_.width(), heightFixed ? height() : picture_.height());
    if (align != alNone)
        AlignControls(parentWidget());
}

void TsuiCustomPanel::MakeDrawnPicture()
{
    drawn_ = transparent_ ? AutoTransparent(picture_) : picture_;
}

// Aligned in the panel, or from CaptionPosition.
int TsuiCustomPanel::CaptionFlags() const
{
    if (captionPosition_ != QPoint(-1, -1))
        return Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    const int horizontal = alignment_ == taLeftJustify ? Qt::AlignLeft : alignment_ == taRightJustify ? Qt::AlignRight : Qt::AlignHCenter;
    return horizontal | Qt::AlignVCenter | Qt::TextSingleLine;
}

QRect TsuiCustomPanel::CaptionRect() const
{
    if (caption_.trimmed().isEmpty())
        return {};
    const QFontMetrics metrics(font());
    if (captionPosition_ == QPoint(-1, -1))
        return metrics.boundingRect(rect(), CaptionFlags(), caption_);
    return {captionPosition_, QSize(metrics.horizontalAdvance(caption_), metrics.height())};
}

void TsuiCustomPanel::DrawPicture(QPainter& painter) const
{
    switch (drawStyle_) {
    case suiStretch: painter.drawImage(rect(), drawn_); break;
    case suiTile: TileDrawPicture(painter, drawn_, rect()); break;
    case suiNormal: painter.drawImage(0, 0, drawn_); break;
    }
}

void TsuiCustomPanel::DrawCaption(QPainter& painter) const
{
    const QRect place = CaptionRect();
    if (place.isEmpty())
        return;
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(captionPosition_ == QPoint(-1, -1) ? rect() : place, CaptionFlags(), caption_);
}

void TsuiCustomPanel::paintEvent(QPaintEvent*)
{
    QPixmap buffer = OffscreenBuffer(this);
    // What no picture covers shows the panel's colour (or the parent, when transparent).
    buffer.fill(ToQColor(color_));
    {
        QPainter painter(&buffer);
        if (transparent_)
            PaintParentBackground(painter, this);
        if (!drawn_.isNull())
            DrawPicture(painter);
        DrawCaption(painter);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

TsuiImagePanel::TsuiImagePanel(QWidget* parent)
    : TsuiCustomPanel(parent)
{
}

} // namespace parvelle
