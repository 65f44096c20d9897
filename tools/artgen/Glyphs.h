// Small vector glyphs shared by the artwork: caption button symbols, arrows,
// check marks.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPointF>

namespace artgen {

enum class CaptionGlyph { Menu, Help, Maximize, Restore, Minimize, Close };
enum class Direction { Up, Down, Left, Right };

// A caption glyph fitted into a square of `size` pixels around `centre`.
void DrawCaptionGlyph(QPainter& p, CaptionGlyph glyph, QPointF centre, double size,
                      const QColor& color, double penWidth);

// A filled arrow head pointing in `dir`, `size` pixels across its base.
void DrawArrow(QPainter& p, QPointF centre, Direction dir, double size, const QColor& color);

// A tick fitted into a square of `size` pixels around `centre`.
void DrawCheckMark(QPainter& p, QPointF centre, double size, const QColor& color, double penWidth);

} // namespace artgen
