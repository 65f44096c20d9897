#include "Preview.h"

#include "Canvas.h"
#include "skin/SkinDraw.h"
#include "skin/ThemeCatalogue.h"

#include <QFont>
#include <QPainter>

namespace artgen {

namespace {

using namespace parvelle;

constexpr int kWidth = 420;
constexpr int kHeight = 150;

class Art {
public:
    Art(int style, const std::vector<ArtResource>& resources)
        : style_(TsuiUIStyle(style))
        , resources_(resources)
    {
    }

    QImage image(int item) const { return named(BuiltInThemeImageName(style_, item)); }

    QImage slice(int item, int index, int count) const
    {
        QImage slice;
        ExtractBitmapSlice(image(item), slice, count, index);
        return slice;
    }

    QImage named(const QString& name) const
    {
        for (const auto& r : resources_)
            if (r.name == name)
                return r.image;
        return QImage();
    }

    TsuiUIStyle style() const { return style_; }
    QColor color(int item) const { return ToQColor(GetBuiltInThemeColor(style_, item)); }
    int intValue(int item) const { return GetBuiltInThemeInt(style_, item); }
    bool boolValue(int item) const { return GetBuiltInThemeBool(style_, item); }

private:
    TsuiUIStyle style_;
    const std::vector<ArtResource>& resources_;
};

// Automatic transparency: the bottom-left pixel's colour.
QImage AutoMasked(const QImage& image)
{
    return MaskedWithColor(image, ToTColor(image.pixel(0, image.height() - 1)));
}

void DrawTitleBar(QPainter& p, const Art& art, int width)
{
    const QImage left = art.image(ThemeItem::TitleBarLeftImage);
    const QImage right = art.image(ThemeItem::TitleBarRightImage);
    p.drawImage(QRect(left.width(), 0, width - left.width() - right.width(), left.height()),
                art.image(ThemeItem::TitleBarClientImage));
    p.drawImage(0, 0, left);
    p.drawImage(width - right.width(), 0, right);

    const bool transparent = art.boolValue(ThemeItem::TitleBarButtonTransparentBool);
    const int top = art.intValue(ThemeItem::TitleBarButtonTopInt);
    auto button = [&](int x, int slice) {
        const QImage pic = art.slice(ThemeItem::TitleBarButtonImage, slice, 18);
        p.drawImage(x, top, transparent ? AutoMasked(pic) : pic);
        return pic.width();
    };
    int xr = width + art.intValue(ThemeItem::TitleBarButtonRightOffsetInt) + 1;
    for (int slice : {17, 7, 13}) {   // close (hot), maximise, minimise
        xr -= 21 + 1;
        button(xr, slice);
    }
    int xl = art.intValue(ThemeItem::TitleBarButtonLeftOffsetInt);
    xl += button(xl, 1) + 5;
    QFont font("Tahoma");
    font.setPixelSize(12);
    font.setBold(true);
    p.setFont(font);
    p.setPen(art.style() == MacOS ? Qt::black : Qt::white);
    p.drawText(QRect(xl, top, xr - xl, 21), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Parvelle"));
}

void DrawButtons(QPainter& p, const Art& art, QPoint at)
{
    const bool transparent = art.boolValue(ThemeItem::ButtonTransparentBool);
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    p.setFont(font);
    const char* captions[] = {"Refresh", "Hot", "Pressed"};
    for (int i = 0; i < 3; ++i) {
        p.save();
        p.translate(at + QPoint(i * 82, 0));
        const QRect face(0, 0, 76, 25);
        DrawStretchedSkin(art.slice(ThemeItem::ButtonImage, i + 1, 3), p, face, transparent);
        p.setPen(Qt::black);
        p.drawText(face.translated(i == 2 ? 1 : 0, i == 2 ? 1 : 0), Qt::AlignCenter, QLatin1String(captions[i]));
        p.restore();
    }
}

void DrawCheckBoxes(QPainter& p, const Art& art, QPoint at)
{
    for (int i = 0; i < 4; ++i)
        p.drawImage(at + QPoint(i * 18, 0), art.slice(ThemeItem::CheckBoxImage, i + 1, 4));
    for (int i = 0; i < 4; ++i)
        p.drawImage(at + QPoint(80 + i * 18, 0), AutoMasked(art.slice(ThemeItem::RadioButtonImage, i + 1, 4)));
}

void DrawTabs(QPainter& p, const Art& art, QRect area)
{
    const QImage active = art.slice(ThemeItem::TabControlTabImage, 1, 2);
    const QImage inactive = art.slice(ThemeItem::TabControlTabImage, 2, 2);
    const QImage line = art.image(ThemeItem::TabControlBarImage);
    const int th = active.height();
    const QColor border = art.color(ThemeItem::ControlBorderColor);
    const QColor page = art.style() == WinXP ? QColor(Qt::white) : art.color(ThemeItem::ControlBackgroundColor);
    p.fillRect(QRect(area.left(), area.top() + th + 1, area.width(), area.height() - th - 1), page);
    p.setPen(border);
    p.drawRect(QRect(area.left(), area.top() + th, area.width() - 1, area.height() - th - 1));
    p.drawImage(QRect(area.left() + 1, area.top() + th, area.width() - 2, line.height()), line);
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    p.setFont(font);
    int x = area.left() + 10;
    const char* captions[] = {"ARPCache List", "Undo", "About"};
    for (int i = 0; i < 3; ++i) {
        const bool on = i == 0;
        const QImage& img = on ? active : inactive;
        const int w = QFontMetrics(font).horizontalAdvance(QLatin1String(captions[i])) + 20;
        const QRect r(x, area.top() + (on ? 1 : 0), w, th);
        DrawThreeSliceBitmap(img, p, r, (img.pixel(0, 0) & 0xFFFFFF) == 0xFF00FF);
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, QLatin1String(captions[i]));
        x += w;
    }
}

void DrawScrollBar(QPainter& p, const Art& art, QRect r)
{
    p.fillRect(r, art.color(ThemeItem::ScrollBarBackgroundColor));
    auto arrow = [&](int slice) {
        QImage pic = art.slice(ThemeItem::ScrollBarButtonImage, slice, 6);
        RotateBitmapLeft(pic);
        return MaskedWithColor(pic, ToTColor(pic.pixel(0, 0)));
    };
    const QImage left = arrow(1), right = arrow(5);
    p.drawImage(r.topLeft(), left);
    p.drawImage(r.right() + 1 - right.width(), r.top(), right);
    const QImage start = art.slice(ThemeItem::ScrollBarSliderImage, 1, 3);
    const QImage middle = art.slice(ThemeItem::ScrollBarSliderImage, 2, 3);
    const QImage end = art.slice(ThemeItem::ScrollBarSliderImage, 3, 3);
    const int x = r.left() + left.width() + 30, length = 70;
    p.drawImage(x, r.top(), start);
    p.drawImage(QRect(x + start.width(), r.top(), length - start.width() - end.width(), middle.height()), middle);
    p.drawImage(x + length - end.width(), r.top(), end);
}

} // namespace

QImage StylePreview(int style, const std::vector<ArtResource>& resources)
{
    const Art art(style, resources);
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&img);
    const QImage tile = art.named(style == MacOS ? "MACOS_FORM_BACKGROUND" : "PROTEIN_FORM_BACKGROUND");
    if (style == MacOS || style == Protein)
        p.fillRect(img.rect(), QBrush(tile));
    else
        p.fillRect(img.rect(), art.color(ThemeItem::FormBackgroundColor));
    const int border = art.intValue(ThemeItem::FormBorderWidthInt);
    const QColor borderColor = art.color(ThemeItem::FormBorderColor);
    p.fillRect(0, 0, border, kHeight, borderColor);
    p.fillRect(kWidth - border, 0, border, kHeight, borderColor);
    p.fillRect(0, kHeight - border, kWidth, border, borderColor);
    DrawTitleBar(p, art, kWidth);
    DrawButtons(p, art, QPoint(12, 38));
    DrawCheckBoxes(p, art, QPoint(270, 44));
    DrawTabs(p, art, QRect(12, 72, 250, 64));
    DrawScrollBar(p, art, QRect(272, 100, 136, 16));
    return img;
}

} // namespace artgen
