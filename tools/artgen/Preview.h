// A small mock window per style, assembled from the freshly drawn bitmaps with the
// skin's own drawing routines: shows how the artwork looks in use.
#pragma once

#include "Artwork.h"

#include <QImage>
#include <vector>

namespace artgen {

QImage StylePreview(int style, const std::vector<ArtResource>& resources);

} // namespace artgen
