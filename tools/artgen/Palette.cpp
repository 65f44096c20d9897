#include "Palette.h"

#include "Canvas.h"
#include "skin/ThemeCatalogue.h"

namespace artgen {

namespace {

using namespace parvelle;

QColor Catalogue(int style, int item)
{
    return FromBgr(GetBuiltInThemeColor(TsuiUIStyle(style), item));
}

void FillFromCatalogue(Palette& p)
{
    const auto style = TsuiUIStyle(p.style);
    p.prefix = BuiltInThemeImageName(style, ThemeItem::ButtonImage).section('_', 0, 0);
    p.formBackground = Catalogue(p.style, ThemeItem::FormBackgroundColor);
    p.formBorder = Catalogue(p.style, ThemeItem::FormBorderColor);
    p.menuSelectedBorder = Catalogue(p.style, ThemeItem::MenuSelectedBorderColor);
    p.menuSelected = Catalogue(p.style, ThemeItem::MenuSelectedBackgroundColor);
    p.controlBorder = Catalogue(p.style, ThemeItem::ControlBorderColor);
    p.controlBackground = Catalogue(p.style, ThemeItem::ControlBackgroundColor);
    p.scrollBackground = Catalogue(p.style, ThemeItem::ScrollBarBackgroundColor);
    p.buttonTransparent = GetBuiltInThemeBool(style, ThemeItem::ButtonTransparentBool);
    p.titleButtonTransparent = GetBuiltInThemeBool(style, ThemeItem::TitleBarButtonTransparentBool);
    p.titleButtonTop = GetBuiltInThemeInt(style, ThemeItem::TitleBarButtonTopInt);
}

// Light grey with pinstriped title and traffic-light caption buttons.
void MacOSLook(Palette& p)
{
    p.accent = p.menuSelected;
    p.titleHighlight = QColor(0xFD, 0xFD, 0xFD);
    p.titleTop = QColor(0xEE, 0xEE, 0xEE);
    p.titleMiddle = QColor(0xDF, 0xDF, 0xDF);
    p.titleBottom = QColor(0xC9, 0xC9, 0xC9);
    p.faceTop = QColor(0xFF, 0xFF, 0xFF);
    p.faceBottom = QColor(0xE2, 0xE2, 0xE2);
    p.faceBorder = QColor(0x8E, 0x8E, 0x8E);
    p.faceHover = Mix(p.accent, Qt::white, 0.55);
    p.facePressedTop = Mix(p.accent, Qt::white, 0.35);
    p.facePressedBottom = p.accent;
    p.glyph = QColor(0x3C, 0x3C, 0x3C);
    p.radius = 8.0;
    p.captionShape = CaptionButtonShape::Circle;
}

// Luna blue title bar with light caption buttons.
void WinXPLook(Palette& p)
{
    p.accent = p.menuSelectedBorder;
    p.titleHighlight = QColor(0x8C, 0xC2, 0xFF);
    p.titleTop = QColor(0x2A, 0x7B, 0xF6);
    p.titleMiddle = QColor(0x06, 0x58, 0xE6);
    p.titleBottom = p.formBorder;
    p.faceTop = QColor(0xFF, 0xFF, 0xFF);
    p.faceBottom = QColor(0xE4, 0xE3, 0xDA);
    p.faceBorder = QColor(0x00, 0x3C, 0x74);
    p.faceHover = QColor(0xF9, 0xB2, 0x3C);
    p.facePressedTop = QColor(0xE2, 0xE1, 0xDA);
    p.facePressedBottom = QColor(0xF4, 0xF3, 0xEE);
    p.glyph = QColor(0x1D, 0x4B, 0x9A);
    p.radius = 3.0;
    p.captionShape = CaptionButtonShape::RoundedSquare;
}

// Dark navy, flat, square.
void DeepBlueLook(Palette& p)
{
    p.accent = p.menuSelected;
    p.titleHighlight = QColor(0x3A, 0x47, 0x66);
    p.titleTop = QColor(0x24, 0x2F, 0x4B);
    p.titleMiddle = QColor(0x24, 0x2F, 0x4B);
    p.titleBottom = QColor(0x1B, 0x24, 0x3A);
    p.faceTop = QColor(0xF2, 0xF2, 0xF2);
    p.faceBottom = QColor(0xF2, 0xF2, 0xF2);
    p.faceBorder = QColor(0x24, 0x2F, 0x4B);
    p.faceHover = Mix(p.accent, Qt::white, 0.8);
    p.facePressedTop = QColor(0xD2, 0xD4, 0xDE);
    p.facePressedBottom = QColor(0xD2, 0xD4, 0xDE);
    p.glyph = QColor(0x24, 0x2F, 0x4B);
    p.radius = 0.0;
    p.captionShape = CaptionButtonShape::FlatSquare;
}

// Light body, glossy deep-blue title and gel buttons.
void ProteinLook(Palette& p)
{
    p.accent = p.menuSelected;
    p.titleHighlight = QColor(0xB4, 0xC6, 0xFA);
    p.titleTop = QColor(0x6A, 0x86, 0xEE);
    p.titleMiddle = QColor(0x25, 0x36, 0xB8);
    p.titleBottom = QColor(0x45, 0x66, 0xE2);
    p.titleGloss = 0.48;
    p.faceTop = QColor(0xFF, 0xFF, 0xFF);
    p.faceBottom = QColor(0xDD, 0xE2, 0xF0);
    p.faceBorder = QColor(0x5A, 0x62, 0x86);
    p.faceHover = Mix(p.accent, Qt::white, 0.7);
    p.facePressedTop = Mix(p.accent, Qt::white, 0.45);
    p.facePressedBottom = Mix(p.accent, Qt::white, 0.15);
    p.glyph = Mix(p.accent, Qt::black, 0.35);
    p.radius = 4.0;
    p.captionShape = CaptionButtonShape::Gel;
}

// Light body, translucent glassy periwinkle title.
void BlueGlassLook(Palette& p)
{
    p.accent = p.menuSelected;
    p.titleHighlight = QColor(0xE2, 0xEA, 0xFF);
    p.titleTop = QColor(0x8E, 0xA6, 0xF4);
    p.titleMiddle = QColor(0x4E, 0x64, 0xD8);
    p.titleBottom = QColor(0x6C, 0x86, 0xEC);
    p.titleGloss = 0.42;
    p.faceTop = QColor(0xFF, 0xFF, 0xFF);
    p.faceBottom = QColor(0xD4, 0xDE, 0xFA);
    p.faceBorder = Mix(p.accent, Qt::black, 0.35);
    p.faceHover = Mix(p.accent, Qt::white, 0.6);
    p.facePressedTop = Mix(p.accent, Qt::white, 0.4);
    p.facePressedBottom = p.accent;
    p.glyph = Mix(p.accent, Qt::black, 0.45);
    p.radius = 5.0;
    p.captionShape = CaptionButtonShape::Glass;
}

} // namespace

Palette PaletteFor(int style)
{
    Palette p;
    p.style = style;
    FillFromCatalogue(p);
    switch (style) {
    case MacOS: MacOSLook(p); break;
    case WinXP: WinXPLook(p); break;
    case DeepBlue: DeepBlueLook(p); break;
    case Protein: ProteinLook(p); break;
    case BlueGlass: BlueGlassLook(p); break;
    default: break;
    }
    p.scrollFaceLight = Mix(p.accent, Qt::white, 0.84);
    p.scrollFaceDark = Mix(p.accent, Qt::white, 0.64);
    p.pageColor = p.controlBackground;
    if (style == MacOS) {
        p.scrollFaceLight = QColor(0xFA, 0xFA, 0xFA);
        p.scrollFaceDark = QColor(0xD9, 0xD9, 0xD9);
    } else if (style == DeepBlue) {
        p.scrollFaceLight = QColor(0xDC, 0xDE, 0xE6);
        p.scrollFaceDark = QColor(0xDC, 0xDE, 0xE6);
    } else if (style == WinXP) {
        p.pageColor = Qt::white;   // the WinXP page control paints its pages white
    }
    return p;
}

} // namespace artgen
