#include "Glyphs.h"

#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>

namespace artgen {

namespace {

QPen GlyphPen(const QColor& color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPen SquarePen(const QColor& color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

// Pixel-aligned square of `size` pixels around `c`, so that glyph lines are crisp.
QRectF SnappedBox(QPointF c, double size)
{
    const int n = qRound(size);
    return QRectF(qRound(c.x() - n / 2.0), qRound(c.y() - n / 2.0), n, n);
}

// A window: one-pixel sides and bottom, a thicker top edge.
void DrawWindow(QPainter& p, const QRectF& r, const QColor& color, double topThickness)
{
    p.fillRect(QRectF(r.left(), r.top(), r.width(), topThickness), color);
    p.fillRect(QRectF(r.left(), r.top(), 1, r.height()), color);
    p.fillRect(QRectF(r.right() - 1, r.top(), 1, r.height()), color);
    p.fillRect(QRectF(r.left(), r.bottom() - 1, r.width(), 1), color);
}

} // namespace

void DrawCaptionGlyph(QPainter& p, CaptionGlyph glyph, QPointF c, double s, const QColor& color,
                      double pw)
{
    const double h = s / 2.0;
    p.save();
    switch (glyph) {
    case CaptionGlyph::Menu:
        p.setPen(SquarePen(color, pw * 0.75));
        for (int i = -1; i <= 1; ++i)
            p.drawLine(QPointF(c.x() - h * 0.8, c.y() + i * h * 0.6), QPointF(c.x() + h * 0.8, c.y() + i * h * 0.6));
        break;
    case CaptionGlyph::Help: {
        QPainterPath q;
        q.moveTo(c.x() - h * 0.55, c.y() - h * 0.45);
        q.cubicTo(c.x() - h * 0.55, c.y() - h * 1.05, c.x() + h * 0.6, c.y() - h * 1.05, c.x() + h * 0.6, c.y() - h * 0.45);
        q.cubicTo(c.x() + h * 0.6, c.y() - h * 0.05, c.x(), c.y() + h * 0.05, c.x(), c.y() + h * 0.35);
        p.setPen(GlyphPen(color, pw * 0.85));
        p.setBrush(Qt::NoBrush);
        p.drawPath(q);
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QPointF(c.x(), c.y() + h * 0.85), pw * 0.55, pw * 0.55);
        break;
    }
    case CaptionGlyph::Maximize:
        DrawWindow(p, SnappedBox(c, s), color, pw >= 1.5 ? 2 : 1);
        break;
    case CaptionGlyph::Restore: {
        const QRectF box = SnappedBox(c, s);
        const double w = qRound(s * 0.7);
        const QRectF back(box.right() - w, box.top(), w, w);
        const QRectF front(box.left(), box.bottom() - w, w, w);
        p.setClipRegion(QRegion(box.toRect()).subtracted(QRegion(front.toRect())), Qt::IntersectClip);
        DrawWindow(p, back, color, pw >= 1.5 ? 2 : 1);
        p.restore();
        p.save();
        DrawWindow(p, front, color, pw >= 1.5 ? 2 : 1);
        break;
    }
    case CaptionGlyph::Minimize: {
        const QRectF box = SnappedBox(c, s);
        const double t = pw >= 1.5 ? 2 : 1;
        p.fillRect(QRectF(box.left(), box.bottom() - t, qRound(s * 0.7), t), color);
        break;
    }
    case CaptionGlyph::Close:
        p.setPen(GlyphPen(color, pw));
        p.drawLine(QPointF(c.x() - h, c.y() - h), QPointF(c.x() + h, c.y() + h));
        p.drawLine(QPointF(c.x() + h, c.y() - h), QPointF(c.x() - h, c.y() + h));
        break;
    }
    p.restore();
}

void DrawArrow(QPainter& p, QPointF c, Direction dir, double size, const QColor& color)
{
    const double b = size / 2.0;
    const double d = size / 4.0;   // half the depth of the head
    QPolygonF head;
    switch (dir) {
    case Direction::Up:
        head << QPointF(c.x() - b, c.y() + d) << QPointF(c.x() + b, c.y() + d) << QPointF(c.x(), c.y() - d);
        break;
    case Direction::Down:
        head << QPointF(c.x() - b, c.y() - d) << QPointF(c.x() + b, c.y() - d) << QPointF(c.x(), c.y() + d);
        break;
    case Direction::Left:
        head << QPointF(c.x() + d, c.y() - b) << QPointF(c.x() + d, c.y() + b) << QPointF(c.x() - d, c.y());
        break;
    case Direction::Right:
        head << QPointF(c.x() - d, c.y() - b) << QPointF(c.x() - d, c.y() + b) << QPointF(c.x() + d, c.y());
        break;
    }
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(head);
    p.restore();
}

void DrawCheckMark(QPainter& p, QPointF c, double s, const QColor& color, double penWidth)
{
    const double h = s / 2.0;
    QPainterPath tick;
    tick.moveTo(c.x() - h, c.y() - h * 0.05);
    tick.lineTo(c.x() - h * 0.3, c.y() + h * 0.65);
    tick.lineTo(c.x() + h, c.y() - h * 0.7);
    p.save();
    p.setPen(GlyphPen(color, penWidth));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    p.restore();
}

} // namespace artgen
