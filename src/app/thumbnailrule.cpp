// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/thumbnailrule.h"

#include <algorithm>
#include <cmath>

namespace thumbnailrule {

int side(int imSize) {
    return std::clamp(imSize, 0, 4) * 32 + 64;
}

QRect placement(QSize image, int side, bool stretch) {
    if (stretch || image.isEmpty()) {
        return QRect(0, 0, side, side);
    }
    const int w = image.width();
    const int h = image.height();
    // Single precision on purpose: thumbnail sizes follow the established rule exactly, including
    // the long side that comes out one pixel short for most page sizes.
    const float factor = w > h ? static_cast<float>(side) / static_cast<float>(w)
                               : static_cast<float>(side) / static_cast<float>(h);
    const int drawnWidth = static_cast<int>(std::trunc(static_cast<double>(w) * factor));
    const int drawnHeight = static_cast<int>(std::trunc(static_cast<double>(h) * factor));
    return QRect((side - drawnWidth) / 2, (side - drawnHeight) / 2, drawnWidth, drawnHeight);
}

} // namespace thumbnailrule
