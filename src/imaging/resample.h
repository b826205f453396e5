// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Resizing of page images with a good filter, fast enough to run once per page of a chart.

#include <QImage>
#include <QSize>

namespace imaging {

/// \p image resized to exactly \p size with a separable triangle (bilinear) filter whose width
/// grows with the reduction, so that every source pixel contributes when shrinking (no
/// aliasing) and enlarging interpolates smoothly. The result is Format_RGB888; other formats are
/// converted first. Safe to call from several threads at once.
QImage resample(const QImage& image, QSize size);

} // namespace imaging
