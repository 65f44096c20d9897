#include "ButtonPaint.h"



#include <QFontMetrics>
#include <QPainter>

namespace parvelle {

ButtonFace PushButtonMachine::face(bool enabled) const
{
    if (!enabled)
        return ButtonFace::Disabled;
    if (pressed_)
        return ButtonFace::MouseDown;
    return mouseOver_ ? ButtonFace::MouseOn : ButtonFace::Normal;
}

void PushButtonMachine::mouseLeave()
{
    mouseOver_ = pressed_ = repeating_ = false;
}

void PushButtonMachine::leftPress()
{
    pressed_ = repeating_ = true;
}

void PushButtonMachine::movedOutside()
{
    mouseOver_ = pressed_ = false;
}

void PushButtonMachine::clicked()
{
    pressed_ = repeating_ = false;
}

void PushButtonMachine::activationKeyDown(bool focused, bool enabled)
{
    if (focused && enabled)
        pressed_ = true;
}

bool PushButtonMachine::activationKeyUp(bool focused, bool enabled)
{
    if (!focused || !pressed_ || !enabled)
        return false;
    pressed_ = false;
    return true;
}

GlyphPlacement PlaceGlyph(TButtonLayout layout, QSize client, QSize glyph, QSize text, int spacing)
{
    const int W = client.width(), H = client.height();
    const int gw = glyph.width(), gh = glyph.height();
    const int tw = text.width(), th = text.height();
    GlyphPlacement p;
    switch (layout) {
    case blGlyphLeft:
        p.glyph = QPoint((W - gw - tw - spacing) / 2, (H - gh) / 2);
        p.caption = QPoint(p.glyph.x() + gw + spacing, (H - th) / 2);
        break;
    case blGlyphRight:
        p.glyph = QPoint((W + tw + spacing - gw) / 2, (H - gh) / 2);
        p.caption = QPoint(p.glyph.x() - tw - spacing, (H - th) / 2);
        break;
    case blGlyphTop:
        p.glyph = QPoint((W - gw) / 2, (H - th - gh - spacing) / 2);
        p.caption = QPoint((W - tw) / 2, p.glyph.y() + gh + spacing);
        break;
    case blGlyphBottom:
        p.glyph = QPoint((W - gw) / 2, (H + th + spacing - gh) / 2);
        p.caption = QPoint((W - tw) / 2, p.glyph.y() - th - spacing);
        break;
    }
    return p;
}

bool IsTwoImageGlyph(const QImage& glyph)
{
    return !glyph.isNull() && glyph.width() == 2 * glyph.height();
}

void DrawFocusRectangle(QPainter& canvas, const QRect& rect)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    canvas.save();
    canvas.setCompositionMode(QPainter::RasterOp_NotDestination);
    canvas.setPen(Qt::black);
    const int left = rect.left(), top = rect.top();
    const int right = RightOf(rect) - 1, bottom = BottomOf(rect) - 1;
    auto dot = [&canvas](int x, int y) {
        if ((x + y) % 2 == 0)
            canvas.drawPoint(x, y);
    };
    for (int x = left; x <= right; ++x) {
        dot(x, top);
        if (bottom != top)
            dot(x, bottom);
    }
    for (int y = top + 1; y < bottom; ++y) {
        dot(left, y);
        if (right != left)
            dot(right, y);
    }
    canvas.restore();
}

QImage StretchedFace(const QImage& bitmap, QSize size, bool transparent)
{
    QImage face(size, QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    if (!bitmap.isNull()) {
        QPainter painter(&face);
        DrawStretchedSkin(bitmap, painter, QRect(QPoint(0, 0), size), transparent);
    }
    return face;
}

namespace {

constexpr int kCaptionFlags = Qt::TextSingleLine | Qt::TextShowMnemonic;

QFont CaptionFont(const ButtonLook& look)
{
    QFont font = look.font;
    if (look.focused && look.focus == FocusLook::BoldCaption)
        font.setBold(true);
    return font;
}

// Disabled: white one pixel down and right, then grey in place (engraved). Pressed: one
// pixel down and right.
void DrawCaptionText(QPainter& canvas, const ButtonLook& look, const QRect& rect, int alignment)
{
    canvas.setFont(CaptionFont(look));
    if (!look.enabled) {
        canvas.setPen(ToQColor(clWhite));
        canvas.drawText(rect.translated(1, 1), kCaptionFlags | alignment, look.caption);
        canvas.setPen(ToQColor(clGray));
        canvas.drawText(rect, kCaptionFlags | alignment, look.caption);
        return;
    }
    canvas.setPen(look.textColor);
    canvas.drawText(look.pressed ? rect.translated(1, 1) : rect, kCaptionFlags | alignment, look.caption);
}

void DrawCentredCaption(QPainter& canvas, const ButtonLook& look)
{
    DrawCaptionText(canvas, look, QRect(QPoint(0, 0), look.size), Qt::AlignCenter);
}

void DrawFocus(QPainter& canvas, const ButtonLook& look)
{
    if (!look.focused || look.focus != FocusLook::DottedRect)
        return;
    const int m = look.focusedRectMargin;
    DrawFocusRectangle(canvas, RectLTRB(m, m, look.size.width() - m, look.size.height() - m));
}

bool HasCaption(const ButtonLook& look)
{
    return !look.caption.trimmed().isEmpty();
}

// Glyph (masked by its top-left pixel) and caption around it.
void DrawGlyphAndCaption(QPainter& canvas, const ButtonLook& look, const SkinButtonLook& skin)
{
    const bool twoImages = IsTwoImageGlyph(skin.glyph);
    const int gh = skin.glyph.height();
    const int gw = twoImages ? gh : skin.glyph.width();
    const QSize text = QFontMetrics(look.font).size(kCaptionFlags, look.caption);
    const GlyphPlacement place = PlaceGlyph(skin.layout, look.size, QSize(gw, gh), text, skin.spacing);
    const QPoint glyphAt = look.pressed ? place.glyph + QPoint(1, 1) : place.glyph;

    const QImage masked = MaskedWithColor(skin.glyph, ToTColor(skin.glyph.pixel(0, 0)));
    if (twoImages)
        canvas.drawImage(glyphAt, masked, QRect(look.enabled ? 0 : gw, 0, gw, gh));
    else if (look.enabled)
        canvas.drawImage(glyphAt, masked);
    else
        DrawGreyedImage(canvas, glyphAt, masked);

    DrawFocus(canvas, look);
    if (!HasCaption(look))
        return;
    const QRect captionRect = RectLTRB(place.caption.x(), place.caption.y(), look.size.width(),
                                       look.size.height());
    DrawCaptionText(canvas, look, captionRect, Qt::AlignLeft | Qt::AlignTop);
}

} // namespace

void PaintSkinButton(QPainter& canvas, const ButtonLook& look, const SkinButtonLook& skin)
{
    canvas.drawImage(0, 0, skin.face);
    if (!skin.glyph.isNull()) {
        DrawGlyphAndCaption(canvas, look, skin);
        return;
    }
    DrawFocus(canvas, look);
    if (HasCaption(look))
        DrawCentredCaption(canvas, look);
}

void PaintImageButton(QPainter& canvas, const ButtonLook& look, const ImageButtonLook& image)
{
    if (!image.picture.isNull()) {
        const QImage picture = MaskedWithColor(image.picture, ToTColor(image.picture.pixel(0, 0)));
        if (image.stretch)
            canvas.drawImage(QRect(QPoint(0, 0), look.size), picture);
        else
            canvas.drawImage(0, 0, picture);
    }
    DrawFocus(canvas, look);
    if (HasCaption(look))
        DrawCentredCaption(canvas, look);
}

} // namespace parvelle
