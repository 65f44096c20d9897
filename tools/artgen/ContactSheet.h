// One PNG showing every skin bitmap magnified, grouped by style.
#pragma once

#include "Artwork.h"

#include <QImage>
#include <vector>

namespace artgen {

QImage ContactSheet(const std::vector<ArtResource>& resources);

} // namespace artgen
