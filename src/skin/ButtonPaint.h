#pragma once
// Push-button state machine and painting, kept apart from the widgets: the widgets feed
// events to PushButtonMachine and hand its state with their theme images to the painters.
#include "SkinDraw.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <cstdint>

class QPainter;

namespace parvelle {

// The state image a push button shows.
enum class ButtonFace { Normal, MouseOn, MouseDown, Disabled };

// Mouse-over and pressed flags, and whether auto-repeat runs (from a left press until the
// click or the pointer leaving). Every input may change the look; the widget repaints.
class PushButtonMachine {
public:
    bool mouseOver() const { return mouseOver_; }
    bool pressed() const { return pressed_; }
    bool repeating() const { return repeating_; }
    ButtonFace face(bool enabled) const;

    void mouseEnter() { mouseOver_ = true; }
    void mouseLeave();     // both flags off, auto-repeat ends
    void leftPress();      // pressed, auto-repeat starts
    void movedOutside();   // both flags off; auto-repeat goes on
    void clicked();        // pressed off, auto-repeat ends (also a release with no click)
    // Space or Enter. The release clicks (true) only after a press on this button.
    void activationKeyDown(bool focused, bool enabled);
    bool activationKeyUp(bool focused, bool enabled);

private:
    bool mouseOver_ = false;
    bool pressed_ = false;
    bool repeating_ = false;
};

enum TButtonLayout : uint8_t { blGlyphLeft = 0, blGlyphRight, blGlyphTop, blGlyphBottom };

// How a focused button shows its focus.
enum class FocusLook { None, DottedRect, BoldCaption };

// What every push-button paint reads from the widget.
struct ButtonLook {
    QSize size;
    bool enabled = true;
    bool pressed = false;
    bool focused = false;   // has the focus and takes it by Tab
    QString caption;
    QFont font;
    QColor textColor = Qt::black;
    FocusLook focus = FocusLook::DottedRect;
    int focusedRectMargin = 2;
};

// Glyph and caption positions of a button with a glyph.
struct GlyphPlacement {
    QPoint glyph;
    QPoint caption;
};
GlyphPlacement PlaceGlyph(TButtonLayout layout, QSize client, QSize glyph, QSize text, int spacing);

// A glyph twice as wide as high holds two square images: enabled, then disabled.
bool IsTwoImageGlyph(const QImage& glyph);

// The system focus rectangle: every other pixel of the outline inverted.
void DrawFocusRectangle(QPainter& canvas, const QRect& rect);

// A face bitmap stretched to Size with its corners kept (magenta corners transparent when
// Transparent, magenta edges and middle always): built once per state and size.
QImage StretchedFace(const QImage& bitmap, QSize size, bool transparent);

// Face of a themed push button: the stretched face, then glyph and caption.
struct SkinButtonLook {
    QImage face;   // from StretchedFace
    QImage glyph;
    TButtonLayout layout = blGlyphLeft;
    int spacing = 4;
};
void PaintSkinButton(QPainter& canvas, const ButtonLook& look, const SkinButtonLook& skin);

// Face of an image button: the state picture with its top-left pixel's colour
// transparent, stretched or at natural size; the centred caption over it.
struct ImageButtonLook {
    QImage picture;
    bool stretch = false;
};
void PaintImageButton(QPainter& canvas, const ButtonLook& look, const ImageButtonLook& image);

} // namespace parvelle

Q_DECLARE_METATYPE(parvelle::TButtonLayout)
