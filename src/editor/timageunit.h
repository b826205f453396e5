#pragma once

/// \file
/// Quarter and half turns of a page bitmap, pixel for pixel.

#include <QImage>

/// Turns a bitmap by 90° or 180° into a new bitmap of the same pixel format. Every pixel is
/// copied exactly, with no resampling; the colour table and the resolution come along (the two
/// resolutions swap places on a quarter turn).
class TImageUnit {
public:
    /// Counter-clockwise: H wide, W high; source pixel (x, y) goes to (y, W - 1 - x).
    QImage RotateLeft(const QImage& source) const;
    /// Clockwise: H wide, W high; source pixel (x, y) goes to (H - 1 - y, x).
    QImage RotateRight(const QImage& source) const;
    /// W wide, H high; source pixel (x, y) goes to (W - 1 - x, H - 1 - y).
    QImage Rotate180(const QImage& source) const;
};
