// The colours and shapes of one skin style's artwork. Catalogue colours come
// from the built-in theme tables; the rest are this style's own accents.
#pragma once

#include <QColor>
#include <QString>

namespace artgen {

enum class CaptionButtonShape { RoundedSquare, Circle, FlatSquare, Gel, Glass };

struct Palette {
    int style = 0;              // TsuiUIStyle value 1..5
    QString prefix;             // resource name prefix, e.g. "WINXP"

    // From the catalogue.
    QColor formBackground;      // item 15
    QColor formBorder;          // item 16
    QColor menuSelectedBorder;  // item 18
    QColor menuSelected;        // item 19
    QColor controlBorder;       // item 25
    QColor controlBackground;   // item 26
    QColor scrollBackground;    // item 31
    bool buttonTransparent = false;       // item 2
    bool titleButtonTransparent = false;  // item 6
    int titleButtonTop = 0;               // item 9

    // The style's own look.
    QColor accent;              // strong colour of selections and checks
    QColor titleTop, titleMiddle, titleBottom, titleHighlight;
    double titleGloss = 0.0;    // 0 = smooth gradient, else position of a glossy edge
    QColor faceTop, faceBottom, faceBorder, faceHover, facePressedTop, facePressedBottom;
    QColor scrollFaceLight, scrollFaceDark;  // scroll arrows, thumb, strip buttons
    QColor pageColor;           // the page area a tab opens into
    QColor glyph;               // arrows and caption button glyphs
    double radius = 3.0;        // corner radius of buttons
    CaptionButtonShape captionShape = CaptionButtonShape::RoundedSquare;
};

// The palette of a built-in style (1 = MacOS ... 5 = BlueGlass).
Palette PaletteFor(int style);

} // namespace artgen
