#include "Artwork.h"

#include "Canvas.h"
#include "Glyphs.h"
#include "Palette.h"
#include "skin/ThemeCatalogue.h"

#include <QSet>
#include <map>

namespace artgen {

namespace {

using namespace parvelle;

constexpr int kTitleHeight = 29;
constexpr int kCaptionCell = 21;

// ---- title bar ----------------------------------------------------------

// Spans the pixel centres of the first and last row, so the bottom row is exactly
// titleBottom (WinXP: the border colour the frame continues in).
QLinearGradient TitleGradient(const Palette& p)
{
    const double first = 0.5, last = kTitleHeight - 0.5;
    if (p.titleGloss > 0.0) {
        return VerticalGradient(first, last,
                                {{0.0, p.titleHighlight},
                                 {0.06, p.titleTop},
                                 {p.titleGloss - 0.001, Mix(p.titleTop, p.titleMiddle, 0.45)},
                                 {p.titleGloss, p.titleMiddle},
                                 {1.0, p.titleBottom}});
    }
    return VerticalGradient(first, last,
                            {{0.0, p.titleHighlight},
                             {0.08, p.titleTop},
                             {0.55, p.titleMiddle},
                             {1.0, p.titleBottom}});
}

// The title bar background, uniform across x: gradient plus the style's texture.
QImage TitleBackground(const Palette& p, int width)
{
    QImage img = GradientImage(width, kTitleHeight, TitleGradient(p));
    QPainter painter(&img);
    if (p.style == MacOS) {
        for (int y = 1; y < kTitleHeight - 1; y += 2)
            painter.fillRect(0, y, width, 1, QColor(255, 255, 255, 70));
        painter.fillRect(0, kTitleHeight - 1, width, 1, QColor(0xA0, 0xA0, 0xA0));
    } else if (p.style == DeepBlue) {
        painter.fillRect(0, kTitleHeight - 3, width, 3, p.accent);
        painter.fillRect(0, kTitleHeight - 3, width, 1, Mix(p.accent, Qt::white, 0.3));
    }
    return img;
}

QImage TitleClient(const Palette& p) { return TitleBackground(p, 37); }

// End pieces: the background with a bevelled outer edge.
QImage TitleEnd(const Palette& p, bool left)
{
    QImage img = TitleBackground(p, 35);
    QPainter painter(&img);
    const int x = left ? 0 : 34;
    painter.fillRect(x, 0, 1, kTitleHeight, Mix(p.titleBottom, Qt::black, 0.25));
    painter.fillRect(left ? 1 : 33, 1, 1, kTitleHeight - 2, QColor(255, 255, 255, 60));
    return img;
}

// ---- caption buttons ----------------------------------------------------

const CaptionGlyph kCaptionGlyphs[] = {CaptionGlyph::Menu, CaptionGlyph::Help, CaptionGlyph::Maximize,
                                        CaptionGlyph::Restore, CaptionGlyph::Minimize, CaptionGlyph::Close};

enum State { Normal = 0, Hover = 1, Pressed = 2 };

QColor StateTint(const QColor& base, int state)
{
    if (state == Hover)
        return Mix(base, Qt::white, 0.22);
    if (state == Pressed)
        return Mix(base, Qt::black, 0.22);
    return base;
}

void DrawXPCaptionButton(QPainter& g, const Palette& p, QRectF cell, CaptionGlyph glyph, int state)
{
    const QRectF box = cell.adjusted(1, 1, -1, -1);
    const QColor bottom = state == Pressed ? QColor(0xB4, 0xCA, 0xF0) : QColor(0xD2, 0xE2, 0xFC);
    const QColor top = state == Pressed ? QColor(0xD6, 0xE2, 0xF8) : Qt::white;
    auto fill = VerticalGradient(box.top(), box.bottom(), {{0.0, top}, {0.45, Mix(top, bottom, 0.5)}, {1.0, bottom}});
    FillAndOutline(g, RoundedBox(box, 3), fill, state == Hover ? QColor(0xFF, 0xD8, 0x7A) : Qt::white);
    const QColor ink = glyph == CaptionGlyph::Close ? QColor(0xC8, 0x32, 0x1A) : p.glyph;
    DrawCaptionGlyph(g, glyph, cell.center(), 9, ink, 2.0);
}

QColor MacCaptionColour(CaptionGlyph glyph)
{
    switch (glyph) {
    case CaptionGlyph::Close: return QColor(0xFC, 0x5F, 0x57);
    case CaptionGlyph::Minimize: return QColor(0xFD, 0xBC, 0x2E);
    case CaptionGlyph::Maximize:
    case CaptionGlyph::Restore: return QColor(0x2B, 0xC6, 0x43);
    case CaptionGlyph::Help: return QColor(0x7E, 0x8C, 0xE8);
    case CaptionGlyph::Menu: break;
    }
    return QColor(0xB4, 0xB4, 0xB4);
}

// A round button with a top highlight: MacOS lights and Protein gel drops.
void DrawRoundCaptionButton(QPainter& g, QPointF c, double r, const QColor& base, bool gel)
{
    QRadialGradient body(c.x(), c.y() + r * 0.6, r * 1.4);
    body.setColorAt(0.0, Mix(base, Qt::white, gel ? 0.35 : 0.3));
    body.setColorAt(0.6, base);
    body.setColorAt(1.0, Mix(base, Qt::black, 0.15));
    g.setPen(QPen(Mix(base, Qt::black, 0.35), 1.0));
    g.setBrush(body);
    g.drawEllipse(c, r, r);
    QLinearGradient shine(0, c.y() - r, 0, c.y());
    shine.setColorAt(0.0, QColor(255, 255, 255, gel ? 230 : 190));
    shine.setColorAt(1.0, QColor(255, 255, 255, 20));
    g.setPen(Qt::NoPen);
    g.setBrush(shine);
    g.drawEllipse(QRectF(c.x() - r * 0.62, c.y() - r * 0.9, r * 1.24, r * 0.85));
}

void DrawMacCaptionButton(QPainter& g, const Palette&, QRectF cell, CaptionGlyph glyph, int state)
{
    const QColor base = StateTint(MacCaptionColour(glyph), state == Pressed ? Pressed : Normal);
    DrawRoundCaptionButton(g, cell.center(), 6.5, base, false);
    if (state != Normal)
        DrawCaptionGlyph(g, glyph, cell.center(), 6, Mix(base, Qt::black, 0.6), 1.4);
}

void DrawFlatCaptionButton(QPainter& g, const Palette& p, QRectF cell, CaptionGlyph glyph, int state)
{
    const bool close = glyph == CaptionGlyph::Close;
    if (state == Hover)
        g.fillRect(cell.adjusted(1, 1, -1, -1), close ? QColor(0xC4, 0x2B, 0x1C) : Mix(p.titleTop, Qt::white, 0.14));
    else if (state == Pressed)
        g.fillRect(cell.adjusted(1, 1, -1, -1), close ? QColor(0x94, 0x1E, 0x14) : p.accent);
    DrawCaptionGlyph(g, glyph, cell.center(), 9, Qt::white, 1.6);
}

void DrawGelCaptionButton(QPainter& g, const Palette& p, QRectF cell, CaptionGlyph glyph, int state)
{
    const QColor base = glyph == CaptionGlyph::Close ? QColor(0xD8, 0x34, 0x2A) : Mix(p.accent, Qt::white, 0.12);
    DrawRoundCaptionButton(g, cell.center(), 8.3, StateTint(base, state), true);
    DrawCaptionGlyph(g, glyph, cell.center() + QPointF(0, 0.5), 7, Qt::white, 1.8);
}

void DrawGlassCaptionButton(QPainter& g, const Palette& p, QRectF cell, CaptionGlyph glyph, int state,
                            const QBrush& matte)
{
    const QRectF box = cell.adjusted(1, 2, -1, -2);
    const QPainterPath shape = RoundedBox(box, 4);
    g.fillPath(shape, matte);   // glass shows the title behind it
    const bool close = glyph == CaptionGlyph::Close;
    QColor tint = close ? QColor(0xE8, 0x3C, 0x30, 200) : QColor(255, 255, 255, 60);
    if (state == Hover)
        tint = close ? QColor(0xF4, 0x5A, 0x48, 220) : QColor(255, 255, 255, 110);
    else if (state == Pressed)
        tint = close ? QColor(0xA8, 0x20, 0x18, 230) : QColor(p.accent.red(), p.accent.green(), p.accent.blue(), 200);
    g.fillPath(shape, tint);
    QPainterPath gloss;
    gloss.addRoundedRect(box.adjusted(1.5, 1.5, -1.5, -box.height() / 2), 3, 3);
    g.fillPath(gloss, QColor(255, 255, 255, 90));
    g.strokePath(shape, QPen(QColor(255, 255, 255, 210), 1.0));
    DrawCaptionGlyph(g, glyph, box.center(), 7, Qt::white, 1.6);
}

QImage TitleButtons(const Palette& p)
{
    const int count = 18;
    Sprite sprite(kCaptionCell * count, kCaptionCell);
    // What the buttons sit on: the title rows from the button top down.
    const QImage title = TitleBackground(p, sprite.image().width());
    const QImage matte = title.copy(0, p.titleButtonTop, title.width(), kCaptionCell);
    const QBrush matteBrush(matte);
    ForEachSlice(sprite, count, [&](QPainter& g, const QRectF& cell, int i) {
        const CaptionGlyph glyph = kCaptionGlyphs[i / 3];
        const int state = i % 3;
        switch (p.captionShape) {
        case CaptionButtonShape::RoundedSquare: DrawXPCaptionButton(g, p, cell, glyph, state); break;
        case CaptionButtonShape::Circle: DrawMacCaptionButton(g, p, cell, glyph, state); break;
        case CaptionButtonShape::FlatSquare: DrawFlatCaptionButton(g, p, cell, glyph, state); break;
        case CaptionButtonShape::Gel: DrawGelCaptionButton(g, p, cell, glyph, state); break;
        case CaptionButtonShape::Glass: DrawGlassCaptionButton(g, p, cell, glyph, state, matteBrush); break;
        }
    });
    return sprite.flatten(matte, p.titleButtonTransparent);
}

// ---- push button, check box, radio --------------------------------------

void DrawGloss(QPainter& g, const QPainterPath& shape, const QRectF& box, int alpha)
{
    QLinearGradient gloss(0, box.top(), 0, box.center().y());
    gloss.setColorAt(0.0, QColor(255, 255, 255, alpha));
    gloss.setColorAt(1.0, QColor(255, 255, 255, alpha / 4));
    g.save();
    g.setClipPath(shape, Qt::IntersectClip);
    g.fillRect(QRectF(box.left(), box.top(), box.width(), box.height() / 2), gloss);
    g.restore();
}

bool Glossy(const Palette& p)
{
    return p.style == MacOS || p.style == Protein || p.style == BlueGlass;
}

QImage PushButton(const Palette& p)
{
    Sprite sprite(54, 21);
    ForEachSlice(sprite, 3, [&](QPainter& g, const QRectF& cell, int state) {
        const QPainterPath shape = RoundedBox(cell, p.radius);
        QColor top = p.faceTop, bottom = p.faceBottom;
        if (state == Pressed) {
            top = p.facePressedTop;
            bottom = p.facePressedBottom;
        } else if (state == Hover && p.style != WinXP) {
            top = Mix(p.faceTop, p.faceHover, 0.35);
            bottom = p.faceHover;
        }
        FillAndOutline(g, shape, VerticalGradient(cell.top(), cell.bottom(), {{0.0, top}, {1.0, bottom}}), p.faceBorder);
        if (state == Hover && p.style == WinXP) {
            // The orange glow inside the frame of a hot WinXP button.
            g.strokePath(RoundedBox(cell.adjusted(1, 1, -1, -1), 2), QPen(Mix(p.faceHover, Qt::white, 0.35), 1.0));
            g.strokePath(RoundedBox(cell.adjusted(2, 2, -2, -2), 1), QPen(p.faceHover, 1.0));
        }
        if (Glossy(p) && state != Pressed)
            DrawGloss(g, shape, cell.adjusted(1, 1, -1, -1), 170);
    });
    return sprite.flatten(p.controlBackground, p.buttonTransparent);
}

QColor BoxBorder(const Palette& p, bool enabled)
{
    if (!enabled)
        return QColor(0xB8, 0xB8, 0xB0);
    return p.style == WinXP ? QColor(0x1C, 0x51, 0x80) : Mix(p.faceBorder, p.accent, 0.3);
}

QColor BoxFill(const Palette& p, bool enabled, bool top)
{
    if (!enabled)
        return QColor(0xF2, 0xF2, 0xEE);
    return top ? Mix(p.faceBottom, Qt::black, 0.04) : Qt::white;
}

QColor CheckInk(const Palette& p, bool enabled)
{
    if (!enabled)
        return QColor(0xA8, 0xA8, 0xA4);
    return p.style == WinXP ? QColor(0x21, 0xA1, 0x21) : Mix(p.accent, Qt::black, 0.15);
}

// Four slices: checked, unchecked, checked disabled, unchecked disabled.
QImage CheckBoxes(const Palette& p, int size)
{
    Sprite sprite(size * 4, size);
    ForEachSlice(sprite, 4, [&](QPainter& g, const QRectF& cell, int i) {
        const bool checked = i % 2 == 0;
        const bool enabled = i < 2;
        const double r = p.radius > 0 ? 1.5 : 0.0;
        auto fill = VerticalGradient(cell.top(), cell.bottom(), {{0.0, BoxFill(p, enabled, true)}, {1.0, BoxFill(p, enabled, false)}});
        FillAndOutline(g, RoundedBox(cell, r), fill, BoxBorder(p, enabled));
        if (checked)
            DrawCheckMark(g, cell.center(), size * 0.5, CheckInk(p, enabled), size >= 13 ? 2.0 : 1.7);
    });
    return sprite.flatten(p.controlBackground, false);
}

QImage RadioButtons(const Palette& p)
{
    Sprite sprite(52, 13);
    ForEachSlice(sprite, 4, [&](QPainter& g, const QRectF& cell, int i) {
        const bool checked = i % 2 == 0;
        const bool enabled = i < 2;
        QPainterPath circle;
        circle.addEllipse(cell.center(), 6.0, 6.0);
        auto fill = VerticalGradient(cell.top(), cell.bottom(), {{0.0, BoxFill(p, enabled, true)}, {1.0, BoxFill(p, enabled, false)}});
        FillAndOutline(g, circle, fill, BoxBorder(p, enabled));
        if (checked) {
            g.setPen(Qt::NoPen);
            g.setBrush(CheckInk(p, enabled));
            g.drawEllipse(cell.center(), 2.6, 2.6);
        }
    });
    return sprite.flatten(p.controlBackground, true);
}

// ---- bars and sliders ---------------------------------------------------

QImage ProgressBar(const Palette& p)
{
    Sprite sprite(6, 10);
    sprite.paint(QRectF(0, 0, 6, 10), [&](QPainter& g) {
        const QColor base = p.style == WinXP ? QColor(0x2F, 0xB5, 0x3A) : p.accent;
        g.fillRect(QRectF(0, 0, 5, 10), VerticalGradient(0, 10, {{0.0, Mix(base, Qt::white, 0.55)},
                                                                  {0.45, base},
                                                                  {1.0, Mix(base, Qt::white, 0.3)}}));
    });
    return sprite.flatten(Qt::white, false);
}

QImage TrackBarBar(const Palette& p)
{
    Sprite sprite(45, 8);
    sprite.paint(QRectF(0, 0, 45, 8), [&](QPainter& g) {
        const QRectF groove(0, 2, 45, 4);
        auto fill = VerticalGradient(groove.top(), groove.bottom(), {{0.0, Mix(p.controlBorder, Qt::white, 0.55)}, {1.0, Qt::white}});
        FillAndOutline(g, RoundedBox(groove, 2), fill, p.controlBorder);
    });
    return sprite.flatten(p.controlBackground, true);
}

// A thumb with a point: down for the horizontal slider, right for the vertical one.
QImage TrackBarSlider(const Palette& p, bool vertical)
{
    const int w = vertical ? 22 : 11, h = vertical ? 11 : 21;
    Sprite sprite(w, h);
    sprite.paint(QRectF(0, 0, w, h), [&](QPainter& g) {
        QPainterPath shape;
        if (vertical) {
            shape.moveTo(0.5, 1.5);
            shape.quadTo(0.5, 0.5, 1.5, 0.5);
            shape.lineTo(15.5, 0.5);
            shape.lineTo(21.5, 5.5);
            shape.lineTo(15.5, 10.5);
            shape.lineTo(1.5, 10.5);
            shape.quadTo(0.5, 10.5, 0.5, 9.5);
        } else {
            shape.moveTo(0.5, 1.5);
            shape.quadTo(0.5, 0.5, 1.5, 0.5);
            shape.lineTo(9.5, 0.5);
            shape.quadTo(10.5, 0.5, 10.5, 1.5);
            shape.lineTo(10.5, 15.5);
            shape.lineTo(5.5, 20.5);
            shape.lineTo(0.5, 15.5);
        }
        shape.closeSubpath();
        QLinearGradient fill = vertical ? QLinearGradient(0, 0, 0, h) : QLinearGradient(0, 0, w, 0);
        fill.setColorAt(0.0, p.faceTop);
        fill.setColorAt(1.0, p.faceBottom);
        FillAndOutline(g, shape, fill, p.faceBorder);
        const QColor mark = p.style == WinXP ? QColor(0x2F, 0xB5, 0x3A) : p.accent;
        if (vertical)
            g.fillRect(QRectF(1, 1, 2, 9), mark);
        else
            g.fillRect(QRectF(1, 1, 9, 2), mark);
    });
    return sprite.flatten(p.controlBackground, true);
}

QLinearGradient ScrollFace(const Palette& p, const QRectF& r, bool across, int state)
{
    QColor light = p.scrollFaceLight, dark = p.scrollFaceDark;
    if (state == Hover) {
        light = Mix(light, Qt::white, 0.5);
        dark = Mix(dark, Qt::white, 0.35);
    } else if (state == Pressed) {
        light = Mix(p.scrollFaceDark, p.accent, 0.2);
        dark = Mix(p.scrollFaceLight, p.accent, 0.1);
    }
    QLinearGradient g = across ? QLinearGradient(r.left(), 0, r.right(), 0) : QLinearGradient(0, r.top(), 0, r.bottom());
    g.setColorAt(0.0, light);
    g.setColorAt(1.0, dark);
    return g;
}

QColor ScrollOutline(const Palette& p) { return Mix(p.scrollFaceDark, Qt::black, 0.28); }

// Six slices for a vertical bar: up normal/hot/pressed, down normal/hot/pressed.
QImage ScrollBarButtons(const Palette& p)
{
    Sprite sprite(96, 17);
    ForEachSlice(sprite, 6, [&](QPainter& g, const QRectF& cell, int i) {
        const int state = i % 3;
        const QRectF box = cell.adjusted(0, 0, 0, 0);
        // Rounded, even when flat: the button's top-left pixel is its transparent colour.
        FillAndOutline(g, RoundedBox(box, qBound(2.0, p.radius, 3.0)), ScrollFace(p, box, true, state), ScrollOutline(p));
        const QPointF c = cell.center() + (state == Pressed ? QPointF(0.5, 0.5) : QPointF());
        DrawArrow(g, c, i < 3 ? Direction::Up : Direction::Down, 8, p.glyph);
    });
    return sprite.flatten(p.scrollBackground, true);
}

// Thumb of a horizontal bar: start cap, middle, end cap of 7 x 16 each.
QImage ScrollBarThumb(const Palette& p)
{
    Sprite sprite(21, 16);
    sprite.paint(QRectF(0, 0, 21, 16), [&](QPainter& g) {
        const QRectF box(0, 0, 21, 16);
        FillAndOutline(g, RoundedBox(box, qMin(p.radius, 4.0)), ScrollFace(p, box, false, Normal), ScrollOutline(p));
        if (Glossy(p))
            DrawGloss(g, RoundedBox(box, qMin(p.radius, 4.0)), box.adjusted(1, 1, -1, -1), 150);
    });
    return sprite.flatten(p.scrollBackground, false);
}

// Tab strip scroll buttons: next normal, next hot, previous normal, previous hot.
QImage StripScrollButtons(const Palette& p)
{
    Sprite sprite(72, 18);
    ForEachSlice(sprite, 4, [&](QPainter& g, const QRectF& cell, int i) {
        const QRectF box = cell.adjusted(1, 1, -1, -1);
        const int state = i % 2 == 1 ? Hover : Normal;
        FillAndOutline(g, RoundedBox(box, 3), ScrollFace(p, box, false, state), ScrollOutline(p));
        DrawArrow(g, box.center(), i < 2 ? Direction::Right : Direction::Left, 7, p.glyph);
    });
    return sprite.flatten(p.scrollBackground, true);
}

// ---- tabs ---------------------------------------------------------------

QPainterPath TabShape(const QRectF& r, double radius)
{
    QPainterPath path;
    const double l = r.left() + 0.5, t = r.top() + 0.5, rr = r.right() - 0.5, b = r.bottom() + 1;
    path.moveTo(l, b);
    path.lineTo(l, t + radius);
    path.quadTo(l, t, l + radius, t);
    path.lineTo(rr - radius, t);
    path.quadTo(rr, t, rr, t + radius);
    path.lineTo(rr, b);
    return path;
}

// Active tab, then inactive tab; each a three-part bitmap of 3-pixel parts.
QImage Tabs(const Palette& p)
{
    Sprite sprite(18, 18);
    const QColor hot = p.style == WinXP ? QColor(0xFF, 0xC8, 0x3C) : p.accent;
    ForEachSlice(sprite, 2, [&](QPainter& g, const QRectF& cell, int i) {
        const bool active = i == 0;
        const double radius = p.radius > 0 ? 3.0 : 2.0;
        QPainterPath shape = TabShape(cell, radius);
        QPainterPath body = shape;
        body.closeSubpath();
        if (active) {
            g.fillPath(body, p.pageColor);
            g.save();
            g.setClipPath(body);
            g.fillRect(QRectF(cell.left(), cell.top(), cell.width(), 3), hot);
            g.fillRect(QRectF(cell.left(), cell.top() + 2, cell.width(), 1), Mix(hot, Qt::white, 0.4));
            g.restore();
        } else {
            const QColor top = Mix(p.pageColor, Qt::white, 0.6);
            const QColor bottom = Mix(p.pageColor, p.controlBorder, 0.16);
            g.fillPath(body, VerticalGradient(cell.top(), cell.bottom(), {{0.0, top}, {1.0, bottom}}));
        }
        g.strokePath(shape, QPen(p.controlBorder, 1.0));
    });
    return sprite.flatten(p.pageColor, true);
}

QImage TabLine(const Palette& p)
{
    QImage img(8, 1, QImage::Format_RGB888);
    img.fill(p.controlBorder);
    return img;
}

// ---- side channel -------------------------------------------------------

QImage SideChannelHandle(const Palette& p)
{
    Sprite sprite(8, 86);
    sprite.paint(QRectF(0, 0, 8, 86), [&](QPainter& g) {
        const QRectF box(0, 0, 8, 86);
        QLinearGradient fill(0, 0, 8, 0);
        fill.setColorAt(0.0, p.scrollFaceLight);
        fill.setColorAt(1.0, p.scrollFaceDark);
        FillAndOutline(g, RoundedBox(box, qMin(p.radius, 3.0)), fill, ScrollOutline(p));
        for (int k = 0; k < 5; ++k) {
            const double y = 35 + k * 3;
            g.fillRect(QRectF(2, y, 4, 1), ScrollOutline(p));
            g.fillRect(QRectF(2, y + 1, 4, 1), QColor(255, 255, 255, 200));
        }
    });
    return sprite.flatten(p.formBackground, false);
}

QImage SideChannelBar(const Palette& p)
{
    QImage img = GradientImage(1, 21, VerticalGradient(0, 21, {{0.0, p.titleTop}, {0.6, p.titleMiddle}, {1.0, p.titleBottom}}));
    return img.convertToFormat(QImage::Format_RGB888);
}

// ---- the resources of one style ------------------------------------------

using StyleDrawer = QImage (*)(const Palette&);

const std::map<int, StyleDrawer>& ItemDrawers()
{
    static const std::map<int, StyleDrawer> drawers = {
        {ThemeItem::ButtonImage, PushButton},
        {ThemeItem::CheckBoxImage, [](const Palette& p) { return CheckBoxes(p, 13); }},
        {ThemeItem::RadioButtonImage, RadioButtons},
        {ThemeItem::TitleBarButtonImage, TitleButtons},
        {ThemeItem::TitleBarLeftImage, [](const Palette& p) { return TitleEnd(p, true); }},
        {ThemeItem::TitleBarClientImage, TitleClient},
        {ThemeItem::TitleBarRightImage, [](const Palette& p) { return TitleEnd(p, false); }},
        {ThemeItem::ProgressBarImage, ProgressBar},
        {ThemeItem::TrackBarBarImage, TrackBarBar},
        {ThemeItem::TrackBarSliderImage, [](const Palette& p) { return TrackBarSlider(p, false); }},
        {ThemeItem::TrackBarSliderVImage, [](const Palette& p) { return TrackBarSlider(p, true); }},
        {ThemeItem::ScrollBarButtonImage, ScrollBarButtons},
        {ThemeItem::ScrollBarSliderImage, ScrollBarThumb},
        {ThemeItem::CheckListBoxImage, [](const Palette& p) { return CheckBoxes(p, 11); }},
        {ThemeItem::ScrollButtonImage, StripScrollButtons},
        {ThemeItem::TabControlTabImage, Tabs},
        {ThemeItem::TabControlBarImage, TabLine},
        {ThemeItem::SideChannelHandleImage, SideChannelHandle},
        {ThemeItem::SideChannelBarImage, SideChannelBar},
    };
    return drawers;
}

// ---- fixed-name resources -----------------------------------------------

QImage FormTile(bool macos)
{
    QImage img(8, 8, QImage::Format_RGB888);
    for (int y = 0; y < 8; ++y) {
        // MacOS: horizontal pinstripes; Protein: a faint brushed line every fourth row.
        const int v = macos ? (y % 2 == 0 ? 0xEC : 0xE2) : (y % 4 == 0 ? 0xF4 : 0xFC);
        for (int x = 0; x < 8; ++x)
            img.setPixel(x, y, qRgb(v, v, v));
    }
    return img;
}

QImage MacMenuBar()
{
    QImage img = GradientImage(1, 22, VerticalGradient(0, 21, {{0.0, QColor(0xFB, 0xFB, 0xFB)}, {1.0, QColor(0xE6, 0xE6, 0xE6)}}));
    img.setPixel(0, 21, qRgb(0xA8, 0xA8, 0xA8));
    return img.convertToFormat(QImage::Format_RGB888);
}

QImage MacMenuSelect(const Palette& mac)
{
    return GradientImage(1, 21, VerticalGradient(0, 21, {{0.0, Mix(mac.accent, Qt::white, 0.3)},
                                                         {0.5, mac.accent},
                                                         {1.0, Mix(mac.accent, Qt::black, 0.12)}}))
        .convertToFormat(QImage::Format_RGB888);
}

// Check mark of menu items; white is its transparent colour.
QImage MenuChecked()
{
    Sprite sprite(16, 16);
    sprite.paint(QRectF(0, 0, 16, 16), [](QPainter& g) {
        DrawCheckMark(g, QPointF(8, 8), 8, QColor(0x10, 0x10, 0x10), 2.0);
    });
    QImage img = sprite.flatten(Qt::white, false);
    // Blended edge pixels must not turn white, or they would drop out of the mark.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (qAlpha(sprite.image().pixel(x, y)) > 0 && img.pixel(x, y) == qRgb(255, 255, 255))
                img.setPixel(x, y, qRgb(0xF0, 0xF0, 0xF0));
    return img;
}

// The application icon: a blue list card with an orange undo badge.
Sprite AppIconSprite(int size)
{
    Sprite sprite(size, size);
    const double s = size;
    sprite.paint(QRectF(0, 0, s, s), [s](QPainter& g) {
        const QRectF card(0, 0, s, s);
        const QPainterPath shape = RoundedBox(card.adjusted(s * 0.03, s * 0.03, -s * 0.03, -s * 0.03), s * 0.18);
        FillAndOutline(g, shape, VerticalGradient(0, s, {{0.0, QColor(0x4A, 0x9A, 0xF8)}, {1.0, QColor(0x0C, 0x3A, 0xB0)}}),
                       QColor(0x08, 0x2A, 0x80));
        DrawGloss(g, shape, card.adjusted(1, 1, -1, -1), 110);
        for (int row = 0; row < 3; ++row) {
            const double y = s * (0.24 + row * 0.2);
            const double h = qMax(1.0, s * 0.09);
            g.fillRect(QRectF(s * 0.2, y, h, h), QColor(0xFF, 0xD0, 0x60));
            g.fillRect(QRectF(s * 0.2 + h * 2, y, s * (row == 2 ? 0.3 : 0.52), h), Qt::white);
        }
        const QPointF badge(s * 0.72, s * 0.72);
        const double r = s * 0.24;
        g.setPen(QPen(QColor(0x8A, 0x3A, 0x00), qMax(1.0, s / 24)));
        g.setBrush(VerticalGradient(badge.y() - r, badge.y() + r, {{0.0, QColor(0xFF, 0xB8, 0x40)}, {1.0, QColor(0xE8, 0x6A, 0x10)}}));
        g.drawEllipse(badge, r, r);
        DrawArrow(g, badge, Direction::Left, r * 1.1, Qt::white);
    });
    return sprite;
}

QImage AppIcon(int size)
{
    return AppIconSprite(size).flatten(QColor(0x0C, 0x3A, 0xB0), true);
}

} // namespace

QImage DesktopIcon(int size)
{
    return AppIconSprite(size).image().convertToFormat(QImage::Format_ARGB32);
}

std::vector<ArtResource> GenerateArtwork()
{
    std::vector<ArtResource> out;
    QSet<QString> done;
    for (int style = MacOS; style <= BlueGlass; ++style) {
        const Palette palette = PaletteFor(style);
        for (int item = 1; item <= kThemeItemCount; ++item) {
            const QString name = BuiltInThemeImageName(TsuiUIStyle(style), item);
            if (name.isEmpty() || done.contains(name))
                continue;
            const auto drawer = ItemDrawers().find(item);
            if (drawer == ItemDrawers().end())
                qFatal("no artwork for theme item %d", item);
            done.insert(name);
            out.push_back({name, palette.prefix, drawer->second(palette)});
        }
    }
    const Palette mac = PaletteFor(MacOS);
    out.push_back({"MACOS_FORM_BACKGROUND", "SHARED", FormTile(true)});
    out.push_back({"PROTEIN_FORM_BACKGROUND", "SHARED", FormTile(false)});
    out.push_back({"MACOS_MENU_BAR", "SHARED", MacMenuBar()});
    out.push_back({"MACOS_MENU_SELECT", "SHARED", MacMenuSelect(mac)});
    out.push_back({"MENU_CHECKED", "SHARED", MenuChecked()});
    out.push_back({"MAINICON", "SHARED", AppIcon(16)});
    out.push_back({"MAINICON_32", "SHARED", AppIcon(32)});
    out.push_back({"MAINICON_48", "SHARED", AppIcon(48)});
    return out;
}

} // namespace artgen
