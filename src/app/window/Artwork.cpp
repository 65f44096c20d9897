#include "Artwork.h"

#include "Fonts.h"

#include <QPainter>
#include <QPainterPath>

namespace parvelle {

namespace {
QPixmap Blank(QSize size)
{
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    return picture;
}

void Prepare(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
}
} // namespace

QPixmap LogoPicture(QSize size)
{
    QPixmap picture = Blank(size);
    QPainter painter(&picture);
    Prepare(painter);
    QLinearGradient fill(0, 0, 0, size.height());
    fill.setColorAt(0, QColor(40, 90, 220));
    fill.setColorAt(1, QColor(0, 44, 200));
    painter.setPen(QPen(QColor(0, 20, 120), 2));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(1, 1, size.width() - 2, size.height() - 2), 10, 10);
    painter.setPen(Qt::white);
    painter.setFont(DesignFont(QStringLiteral("Arial Black"), size.height() / 2));
    painter.drawText(QRect(0, 0, size.width(), size.height() * 3 / 4), Qt::AlignCenter,
                     QStringLiteral("Parvelle"));
    painter.setFont(DesignFont(QStringLiteral("Arial"), size.height() / 6));
    painter.drawText(QRect(0, size.height() * 3 / 5, size.width(), size.height() * 2 / 5),
                     Qt::AlignCenter, QStringLiteral("ARPCache viewer"));
    return picture;
}

QPixmap PointerPicture(QSize size)
{
    QPixmap picture = Blank(size);
    QPainter painter(&picture);
    Prepare(painter);
    const qreal w = size.width(), h = size.height();
    QPainterPath arrow;
    arrow.moveTo(0.1 * w, 0.35 * h);
    arrow.lineTo(0.55 * w, 0.35 * h);
    arrow.lineTo(0.55 * w, 0.15 * h);
    arrow.lineTo(0.92 * w, 0.5 * h);
    arrow.lineTo(0.55 * w, 0.85 * h);
    arrow.lineTo(0.55 * w, 0.65 * h);
    arrow.lineTo(0.1 * w, 0.65 * h);
    arrow.closeSubpath();
    painter.setPen(QPen(QColor(128, 0, 0), 1.5));
    painter.setBrush(QColor(220, 30, 30));
    painter.drawPath(arrow);
    return picture;
}

QPixmap TerminalPicture(QSize size)
{
    QPixmap picture = Blank(size);
    QPainter painter(&picture);
    Prepare(painter);
    const QRectF box(2, 4, size.width() - 4, size.height() - 8);
    painter.setPen(QPen(QColor(60, 60, 60), 2));
    painter.setBrush(QColor(20, 20, 20));
    painter.drawRoundedRect(box, 4, 4);
    painter.setPen(QPen(QColor(90, 230, 90), 2));
    const qreal x = box.left() + 6, y = box.top() + 8;
    painter.drawLine(QPointF(x, y), QPointF(x + 6, y + 5));
    painter.drawLine(QPointF(x + 6, y + 5), QPointF(x, y + 10));
    painter.drawLine(QPointF(x + 10, y + 12), QPointF(x + 22, y + 12));
    return picture;
}

QPixmap KeyTreePicture(QSize size)
{
    QPixmap picture = Blank(size);
    QPainter painter(&picture);
    Prepare(painter);
    const int step = size.height() / 4;
    painter.setPen(QPen(QColor(80, 80, 80), 1, Qt::DotLine));
    painter.drawLine(8, step, 8, 3 * step + step / 2);
    for (int row = 1; row < 4; ++row)
        painter.drawLine(8, row * step + step / 2, 18, row * step + step / 2);
    painter.setPen(QPen(QColor(150, 110, 0), 1));
    painter.setBrush(QColor(250, 210, 80));
    painter.drawRect(2, 2, 14, step - 4);
    for (int row = 1; row < 4; ++row)
        painter.drawRect(18, row * step + 2, 14, step - 4);
    return picture;
}

QPixmap PalettePicture(QSize size)
{
    QPixmap picture = Blank(size);
    QPainter painter(&picture);
    Prepare(painter);
    const QColor colours[] = {QColor(0, 44, 200), QColor(239, 235, 222), QColor(255, 196, 196),
                              QColor(192, 220, 192)};
    const int side = size.width() / 2 - 3;
    for (int i = 0; i < 4; ++i) {
        painter.setPen(QPen(QColor(60, 60, 60), 1));
        painter.setBrush(colours[i]);
        painter.drawRoundedRect(QRectF(2 + (i % 2) * (side + 2), 2 + (i / 2) * (side + 2), side, side), 3, 3);
    }
    return picture;
}

} // namespace parvelle
