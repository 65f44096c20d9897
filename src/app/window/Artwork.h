#pragma once
// The window's pictures, drawn by the program itself.
#include <QPixmap>
#include <QSize>

namespace parvelle {

QPixmap LogoPicture(QSize size);        // the program's name on a blue plate
QPixmap PointerPicture(QSize size);     // an arrow pointing to the right
QPixmap TerminalPicture(QSize size);    // a command prompt window
QPixmap KeyTreePicture(QSize size);     // a small tree of registry keys
QPixmap PalettePicture(QSize size);     // colour swatches

} // namespace parvelle
