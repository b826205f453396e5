// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Quarter and half turns of a page bitmap, pixel for pixel.

#include <QImage>

/// Turns a bitmap by 90° or 180° into a new bitmap of the same pixel format. Every pixel is
/// copied exactly, with no resampling; the colour table and the resolution come along (the two
/// resolutions swap places on a quarter turn).
///
/// \p recycle, when given, is a bitmap whose content is no longer wanted: if it is not shared
/// and holds exactly as many bytes in the same format, the result is written into its memory,
/// which spares the first touches of a fresh page-sized buffer.
class TImageUnit {
public:
    /// Counter-clockwise: H wide, W high; source pixel (x, y) goes to (y, W - 1 - x).
    QImage RotateLeft(const QImage& source, QImage recycle = {}) const;
    /// Clockwise: H wide, W high; source pixel (x, y) goes to (H - 1 - y, x).
    QImage RotateRight(const QImage& source, QImage recycle = {}) const;
    /// W wide, H high; source pixel (x, y) goes to (W - 1 - x, H - 1 - y).
    QImage Rotate180(const QImage& source, QImage recycle = {}) const;
};
