// One PNG showing every skin bitmap magnified, grouped by style, each style with a
// mock window assembled from its bitmaps.
#pragma once

#include "Artwork.h"

#include <QImage>
#include <vector>

namespace artgen {

QImage ContactSheet(const std::vector<ArtResource>& resources);

} // namespace artgen
