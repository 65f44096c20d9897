#include "Canvas.h"

namespace artgen {

namespace {
// Coverage below this alpha counts as outside the shape.
constexpr int kCoverageThreshold = 100;
} // namespace

QColor FromBgr(quint32 bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QColor Mix(const QColor& a, const QColor& b, double t)
{
    auto blend = [t](int x, int y) { return qBound(0, qRound(x + (y - x) * t), 255); };
    return QColor(blend(a.red(), b.red()), blend(a.green(), b.green()), blend(a.blue(), b.blue()));
}

QLinearGradient VerticalGradient(double top, double bottom, const std::vector<GradientStop>& stops)
{
    QLinearGradient g(0, top, 0, bottom);
    for (const auto& s : stops)
        g.setColorAt(s.at, s.color);
    return g;
}

Sprite::Sprite(int width, int height)
    : image_(width, height, QImage::Format_ARGB32_Premultiplied)
{
    image_.fill(Qt::transparent);
}

void Sprite::paint(const QRectF& area, const std::function<void(QPainter&)>& draw)
{
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(area);
    draw(p);
}

QImage Sprite::flatten(const QImage& matte, bool magenta) const
{
    QImage out(image_.size(), QImage::Format_RGB888);
    const QImage src = image_.convertToFormat(QImage::Format_ARGB32);
    const QImage back = matte.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const QRgb s = src.pixel(x, y);
            const int a = qAlpha(s);
            if (magenta && a < kCoverageThreshold) {
                out.setPixel(x, y, kMagenta);
                continue;
            }
            const QRgb m = back.pixel(x, y);
            auto over = [a](int fg, int bg) { return (fg * a + bg * (255 - a) + 127) / 255; };
            QRgb c = qRgb(over(qRed(s), qRed(m)), over(qGreen(s), qGreen(m)), over(qBlue(s), qBlue(m)));
            // Magenta means transparent to the skin code: never produce it by accident.
            if ((c & 0xFFFFFF) == (kMagenta & 0xFFFFFF))
                c = qRgb(254, 0, 255);
            out.setPixel(x, y, c);
        }
    }
    return out;
}

QImage Sprite::flatten(const QColor& matte, bool magenta) const
{
    QImage back(image_.size(), QImage::Format_RGB32);
    back.fill(matte);
    return flatten(back, magenta);
}

QImage GradientImage(int width, int height, const QLinearGradient& gradient)
{
    QImage img(width, height, QImage::Format_RGB32);
    QPainter p(&img);
    p.fillRect(img.rect(), gradient);
    return img;
}

QPainterPath RoundedBox(const QRectF& r, double radius)
{
    QPainterPath path;
    path.addRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    return path;
}

void FillAndOutline(QPainter& p, const QPainterPath& path, const QBrush& fill, const QColor& outline)
{
    p.fillPath(path, fill);
    p.strokePath(path, QPen(outline, 1.0));
}

void ForEachSlice(Sprite& sprite, int count, const std::function<void(QPainter&, const QRectF&, int)>& draw)
{
    const int w = sprite.image().width() / count;
    const int h = sprite.image().height();
    for (int i = 0; i < count; ++i) {
        const QRectF slice(i * w, 0, w, h);
        sprite.paint(slice, [&](QPainter& p) { draw(p, slice, i); });
    }
}

} // namespace artgen
