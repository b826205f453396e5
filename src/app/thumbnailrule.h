// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QSize>

/// Where a page image is drawn in its square thumbnail.
namespace thumbnailrule {

/// Side of the square thumbnails for the size step \p imSize (0..4): 64, 96, 128, 160, 192.
/// Steps outside that range are brought to the nearest one.
int side(int imSize);

/// The rectangle that an image of \p image pixels takes in a \p side square: the whole square
/// when \p stretch, else scaled by side / (longer side) held as a 32-bit float, the size
/// truncated, and centred with integer halving.
QRect placement(QSize image, int side, bool stretch);

} // namespace thumbnailrule
