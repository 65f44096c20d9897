#pragma once
// The window's Windows font names, made available on Linux.
#include <QFont>
#include <QString>

namespace parvelle {

// Registers the Wine Tahoma font (also standing in for the bitmap-only MS Sans Serif)
// and the Liberation fonts, maps the Arial family names to their metric-compatible
// Liberation fonts, and lets every family fall back to a CJK font for names in Chinese,
// Japanese or Korean. Safe to call repeatedly.
void RegisterWindowFonts();

// A font given as the window designer stores it: a family and a character height in
// pixels (the designer's negative height).
QFont DesignFont(const QString& family, int pixelHeight, bool bold = false);

} // namespace parvelle
