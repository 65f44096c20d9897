#include "ButtonPaint.h"



#include <QFontMetrics>
#include <QPainter>

namespace parvelle {

ButtonFace PushButtonMachine::Face(bool enabled) const
{
    if (!enabled)
        return ButtonFace::Disabled;
    if (pressed_)
        return ButtonFace::MouseDown;
    return mouseOver_ ? ButtonFace::MouseOn : ButtonFace::Normal;
}

void PushButtonMachine::MouseLeave()
{
    mouseOver_ = pressed_ = repeating_ = false;
}

void PushButtonMachine::LeftPress()
{
    pressed_ = repeating_ = true;
}

void PushButtonMachine::MovedOutside()
{
    mouseOver_ = pressed_ = false;
}

void PushButtonMachine::Clicked()
{
    pressed_ = repeating_ = false;
}

void PushButtonMachine::ActivationKeyDown(bool focused, bool enabled)
{
    if (focused && enabled)
        pressed_ = true;
}

bool PushButtonMachine::ActivationKeyUp(bool focused, bool enabled)
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
        p.Glyph = QPoint((W - gw - tw - spacing) / 2, (H - gh) / 2);
        p.Caption = QPoint(p.Glyph.x() + gw + spacing, (H - th) / 2);
        break;
    case blGlyphRight:
        p.Glyph = QPoint((W + tw + spacing - gw) / 2, (H - gh) / 2);
        p.Caption = QPoint(p.Glyph.x() - tw - spacing, (H - th) / 2);
        break;
    case blGlyphTop:
        p.Glyph = QPoint((W - gw) / 2, (H - th - gh - spacing) / 2);
        p.Caption = QPoint((W - tw) / 2, p.Glyph.y() + gh + spacing);
        break;
    case blGlyphBottom:
        p.Glyph = QPoint((W - gw) / 2, (H + th + spacing - gh) / 2);
        p.Caption = QPoint((W - tw) / 2, p.Glyph.y() - th - spacing);
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

constexpr int CaptionFlags = Qt::TextSingleLine | Qt::TextShowMnemonic;

QFont CaptionFont(const ButtonLook& look)
{
    QFont font = look.Font;
    if (look.Focused && look.Focus == FocusLook::BoldCaption)
        font.setBold(true);
    return font;
}

// Disabled: white one pixel down and right, then grey in place (engraved). Pressed: one
// pixel down and right.
void DrawCaptionText(QPainter& canvas, const ButtonLook& look, const QRect& rect, int alignment)
{
    canvas.setFont(CaptionFont(look));
    if (!look.Enabled) {
        canvas.setPen(ToQColor(clWhite));
        canvas.drawText(rect.translated(1, 1), CaptionFlags | alignment, look.Caption);
        canvas.setPen(ToQColor(clGray));
        canvas.drawText(rect, CaptionFlags | alignment, look.Caption);
        return;
    }
    canvas.setPen(look.TextColor);
    canvas.drawText(look.Pressed ? rect.translated(1, 1) : rect, CaptionFlags | alignment, look.Caption);
}

void DrawCentredCaption(QPainter& canvas, const ButtonLook& look)
{
    DrawCaptionText(canvas, look, QRect(QPoint(0, 0), look.Size), Qt::AlignCenter);
}

void DrawFocus(QPainter& canvas, const ButtonLook& look)
{
    if (!look.Focused || look.Focus != FocusLook::DottedRect)
        return;
    const int m = look.FocusedRectMargin;
    DrawFocusRectangle(canvas, RectLTRB(m, m, look.Size.width() - m, look.Size.height() - m));
}

bool HasCaption(const ButtonLook& look)
{
    return !look.Caption.trimmed().isEmpty();
}

// Glyph (masked by its top-left pixel) and caption around it.
void DrawGlyphAndCaption(QPainter& canvas, const ButtonLook& look, const SkinButtonLook& skin)
{
    const bool twoImages = IsTwoImageGlyph(skin.Glyph);
    const int gh = skin.Glyph.height();
    const int gw = twoImages ? gh : skin.Glyph.width();
    const QSize text = QFontMetrics(look.Font).size(CaptionFlags, look.Caption);
    const GlyphPlacement place = PlaceGlyph(skin.Layout, look.Size, QSize(gw, gh), text, skin.Spacing);
    const QPoint glyphAt = look.Pressed ? place.Glyph + QPoint(1, 1) : place.Glyph;

    const QImage masked = MaskedWithColor(skin.Glyph, ToTColor(skin.Glyph.pixel(0, 0)));
    if (twoImages)
        canvas.drawImage(glyphAt, masked, QRect(look.Enabled ? 0 : gw, 0, gw, gh));
    else if (look.Enabled)
        canvas.drawImage(glyphAt, masked);
    else
        DrawGreyedImage(canvas, glyphAt, masked);

    DrawFocus(canvas, look);
    if (!HasCaption(look))
        return;
    const QRect captionRect = RectLTRB(place.Caption.x(), place.Caption.y(), look.Size.width(),
                                       look.Size.height());
    DrawCaptionText(canvas, look, captionRect, Qt::AlignLeft | Qt::AlignTop);
}

} // namespace

void PaintSkinButton(QPainter& canvas, const ButtonLook& look, const SkinButtonLook& skin)
{
    canvas.drawImage(0, 0, skin.Face);
    if (!skin.Glyph.isNull()) {
        DrawGlyphAndCaption(canvas, look, skin);
        return;
    }
    DrawFocus(canvas, look);
    if (HasCaption(look))
        DrawCentredCaption(canvas, look);
}

void PaintImageButton(QPainter& canvas, const ButtonLook& look, const ImageButtonLook& image)
{
    if (!image.Picture.isNull()) {
        const QImage picture = MaskedWithColor(image.Picture, ToTColor(image.Picture.pixel(0, 0)));
        if (image.Stretch)
            canvas.drawImage(QRect(QPoint(0, 0), look.Size), picture);
        else
            canvas.drawImage(0, 0, picture);
    }
    DrawFocus(canvas, look);
    if (HasCaption(look))
        DrawCentredCaption(canvas, look);
}

} // namespace parvelle
