// Every skin bitmap resource of the program, drawn from the style palettes.
#pragma once

#include <QImage>
#include <QString>
#include <vector>

namespace artgen {

struct ArtResource {
    QString name;    // resource name, e.g. "WINXP_BUTTON"
    QString group;   // style prefix, or "SHARED" for the fixed-name resources
    QImage image;    // 24-bit RGB, magenta where transparent
};

// All resources: the image items of the five built-in styles (each name once;
// "MORE_SCROLLBUTTON" is shared), the fixed-name resources and the icon.
std::vector<ArtResource> GenerateArtwork();

// The application icon drawn at `size` pixels with its alpha channel, for the desktop's
// icon theme; the program's own MAINICON bitmaps are the same drawing keyed on magenta.
QImage DesktopIcon(int size);
constexpr int kDesktopIconSizes[] = {16, 32, 48, 64, 128, 256};

} // namespace artgen
