#pragma once
// Drawing and placement routines shared by every skinned component. They hold no state.
//
// Rectangles follow the Windows convention where the algorithms need it: a rectangle's
// Right is x + width and its Bottom is y + height (one past the last pixel). Build such
// rectangles with RectLTRB and read their far edges with RightOf / BottomOf; never use
// QRect::right()/bottom() for them.
#include "core/Errors.h"

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QVariant>
#include <cstdint>

class QObject;
struct QMetaObject;
class QPainter;
class QWidget;

namespace parvelle {

enum TsuiUIStyle : uint8_t;   // ThemeCatalogue.h
class TsuiFileTheme;          // ThemeFile.h

// Colour as stored by components and theme files: 0x00BBGGRR (red in the low byte).
// A high byte of 0x80 marks a system colour whose low byte is the Windows COLOR_* index.
using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clGray = 0x808080;
constexpr TColor clSkinTransparent = 0xFF00FF;   // magenta: transparent pixels of skin bitmaps

constexpr TColor SystemColor(int index) { return 0x80000000u | uint32_t(index); }
constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clActiveCaption = SystemColor(2);
constexpr TColor clInactiveCaption = SystemColor(3);
constexpr TColor clMenu = SystemColor(4);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowFrame = SystemColor(6);
constexpr TColor clMenuText = SystemColor(7);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clCaptionText = SystemColor(9);
constexpr TColor clActiveBorder = SystemColor(10);
constexpr TColor clInactiveBorder = SystemColor(11);
constexpr TColor clAppWorkSpace = SystemColor(12);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clInactiveCaptionText = SystemColor(19);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor cl3DDkShadow = SystemColor(21);
constexpr TColor cl3DLight = SystemColor(22);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);

constexpr bool IsSystemColor(TColor color) { return (color & 0xFF000000u) == 0x80000000u; }

// System colours resolve through the application palette.
TColor ColorToRGB(TColor color);
QColor ToQColor(TColor color);
TColor ToTColor(const QColor& color);
TColor ToTColor(QRgb rgb);

// Windows-style rectangle (left, top, right, bottom) as a QRect.
constexpr QRect RectLTRB(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}
constexpr int RightOf(const QRect& rect) { return rect.x() + rect.width(); }
constexpr int BottomOf(const QRect& rect) { return rect.y() + rect.height(); }

// Copy of the image with every pixel of the key colour made fully transparent.
QImage MaskedWithColor(const QImage& image, TColor transparentColor);

// The toolkit's automatic bitmap transparency: the bottom-left pixel's colour becomes
// transparent. An image with an alpha channel is already transparent and stays as it is.
QImage AutoTransparent(const QImage& image);

// The toolkit's greyed look of a disabled image: every opaque pixel that is not white is
// ink, drawn in the button-highlight colour one pixel down and right, then in the
// button-shadow colour at Point itself.
void DrawGreyedImage(QPainter& canvas, const QPoint& point, const QImage& image);

// An off-screen buffer for painting the widget in one block: its size at the widget's
// device pixel ratio, so text stays sharp on a scaled screen; painters on it work in the
// widget's own coordinates and skin bitmaps drawn into it are scaled as a whole.
QPixmap OffscreenBuffer(const QWidget* widget);

// Bitmap over the origin-based Rect: corners at natural size (magenta transparent only
// when Transparent), edges and middle stretched with magenta always transparent.
void DrawStretchedSkin(const QImage& bitmap, QPainter& canvas, const QRect& rect, bool transparent);

// Bitmap of three equal-width parts: left and right at natural size, middle stretched.
// Transparent colour: the top-left pixel's colour with MaskFromCorner, else magenta.
void DrawThreeSliceBitmap(const QImage& graphic, QPainter& canvas, const QRect& rect,
                          bool maskFromCorner);

// Dest := slice Index (1-based) of Source cut into Count equal-width slices.
// A count below 1 or an index outside 1..Count leaves Dest unchanged.
void ExtractBitmapSlice(const QImage& source, QImage& dest, int count, int index);

void RotateBitmapLeft(QImage& bitmap);    // 90 degrees counter-clockwise, in place
void RotateBitmapRight(QImage& bitmap);   // 90 degrees clockwise, in place

// The control's parent paints its own background and content (not its children) into
// Canvas, shifted so the control's rectangle lands at the canvas origin. Without a parent
// the canvas is left alone.
void PaintParentBackground(QPainter& canvas, const QWidget* control);

// Frames the control's whole rectangle (origin-based) one pixel wide in OuterColor and,
// with DrawInner, the rectangle one pixel inside it in InnerColor. Qt widgets can only be
// painted during their paint event, so Canvas is the painter the control paints with.
void DrawControlBorder(const QWidget* control, QPainter& canvas, TColor outerColor,
                       TColor innerColor, bool drawInner);

// A one-pixel frame on the pixels of Rect.
void FrameRect(QPainter& canvas, const QRect& rect, const QColor& color);
// Tiles Picture from the canvas origin over Rect's size; an empty picture draws nothing.
void TileDrawPicture(QPainter& canvas, const QImage& picture, const QRect& rect);

// Left <= X <= Right and Top <= Y <= Bottom, far edges included.
bool PointInRect(const QPoint& point, const QRect& rect);
bool CoordsInRect(int x, int y, const QRect& rect);

// The primary screen's available geometry (screen minus panels); empty without a screen.
QRect GetDesktopWorkArea();

// The work area of the screen the form is on (the primary screen's when it is on none), so
// a form maximised on a second screen stays there.
QRect FormWorkArea(const QWidget* form);

// Whether the compositor places the windows and sizes maximised ones (Wayland): a window
// there cannot know its place nor the panels, and a maximised one that asks for another
// size loses its connection.
bool CompositorPlacesWindows();

void SetControlPosition(QWidget* control, const QPoint& point);   // Left, then Top
void SetControlBoundsRect(QWidget* control, const QRect& rect);   // Left, Top, Width, Height

// Class name without its namespace ("TsuiForm" for parvelle::TsuiForm), and whether the
// component's class or one of its bases has that name.
QString ShortClassName(const QMetaObject* meta);
bool InheritsClass(const QObject* component, const QString& shortName);

// A property that a component's class declares (Q_PROPERTY), letter case ignored. The most
// derived class's declaration counts, so a component's own "Width" hides QWidget's "width".
bool HasPublishedProperty(const QObject* component, const QString& name);

// A declared property's value by name (letter case ignored); invalid when there is none.
QVariant GetPublishedProperty(const QObject* component, const QString& name);

// Raised when a component lacks a property that is written by name.
class EPropertyError : public EParvelleError {
    using EParvelleError::EParvelleError;
};

// Writes a declared property by name (letter case ignored); EPropertyError
// "Property <Name> does not exist" when there is none, "Invalid property value" when
// the value does not fit.
void SetPublishedProperty(QObject* component, const QString& name, const QVariant& value);

// Every direct child widget publishing both FileTheme and UIStyle gets FileTheme, then UIStyle.
void ApplyStyleToChildren(QWidget* control, TsuiUIStyle style, TsuiFileTheme* fileTheme);

// The application's main form, the one IsFormActive measures against (none by default).
void SetApplicationMainForm(QWidget* form);
QWidget* ApplicationMainForm();

// Whether Form counts as the active form (MDI aware, against the application's main form).
bool IsFormActive(const QWidget* form);

} // namespace parvelle
