// Pixel helpers of the artwork generator: colour conversion, gradients,
// and flattening of anti-aliased drawings onto an opaque 24-bit bitmap with
// magenta where the skin code treats pixels as transparent.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <functional>
#include <vector>

namespace artgen {

inline constexpr QRgb kMagenta = 0xFFFF00FF;

// A catalogue colour 0x00BBGGRR as a QColor.
QColor FromBgr(quint32 bgr);
// Linear blend: t = 0 gives a, t = 1 gives b.
QColor Mix(const QColor& a, const QColor& b, double t);

struct GradientStop {
    double at;
    QColor color;
};
QLinearGradient VerticalGradient(double top, double bottom, const std::vector<GradientStop>& stops);

// A drawing surface with a transparent start, turned into the final bitmap by
// Flatten: covered pixels are composed over the matte (the background the
// artwork will be seen on), uncovered ones become magenta when `magenta`.
class Sprite {
public:
    Sprite(int width, int height);
    QImage& image() { return image_; }
    // Runs `draw` with an anti-aliasing painter clipped to `area`.
    void paint(const QRectF& area, const std::function<void(QPainter&)>& draw);
    QImage flatten(const QImage& matte, bool magenta) const;
    QImage flatten(const QColor& matte, bool magenta) const;

private:
    QImage image_;
};

// An opaque image filled with one vertical gradient (the matte of title bar
// pieces and the baked background of opaque caption buttons).
QImage GradientImage(int width, int height, const QLinearGradient& gradient);

// Rounded rectangle path inside `r` (pixel-centred for crisp 1-pixel outlines).
QPainterPath RoundedBox(const QRectF& r, double radius);

// Fills `path` with `fill` and strokes it one pixel wide with `outline`.
void FillAndOutline(QPainter& p, const QPainterPath& path, const QBrush& fill, const QColor& outline);

// Horizontal strip of `count` equal slices, each drawn by `draw(painter, slice, index)`.
void ForEachSlice(Sprite& sprite, int count, const std::function<void(QPainter&, const QRectF&, int)>& draw);

} // namespace artgen
