// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// One page image made ready for a chart PDF: loaded, cropped to the image area or fitted into
/// it, and encoded as a baseline colour JPEG. Pure work on its inputs, so pages are prepared on
/// worker threads while the document is assembled in page order, and the bytes never depend on
/// which thread did the work.

#include "pdf/pdfpictures.h"

#include <QSize>
#include <QString>

namespace chartpage {

/// The JPEG quality actually used for a quality setting: 50 to 100, a negative value as 100
/// (the setting is read as an unsigned number).
int effectiveQuality(int quality);

/// What the margins and the page's border take from each side of a chart page, together, in
/// points: the image area is the page less this in both directions.
constexpr int AreaReduction = 66;

/// The image area of a chart page of \p pageWidth x \p pageHeight points.
QSize imageArea(int pageWidth, int pageHeight);

/// Whether cropping an image of \p image pixels to \p area (a save without stretch) keeps less
/// than half of the image.
bool cropDropsMost(QSize image, QSize area);

/// Size of the page image in the PDF for an image of \p image pixels in an area of \p area:
/// with \p stretch it fits inside the area keeping its aspect ratio (small images are enlarged),
/// the scale held as a 32-bit float and the size truncated; otherwise it is cropped to the area.
QSize placedSize(QSize image, QSize area, bool stretch);

struct Prepared {
    bool loaded = false; ///< false: the image could not be loaded, the page is left out
    /// The encoded page: placed.width() x placed.height() pixels, except for an image enlarged
    /// by stretching, which keeps its decoded pixels and is enlarged by its placement on the page.
    TPdfJpegPicture picture;
    QSize placed; ///< placedSize() of the page, in points on the PDF page
};

/// Loads \p path and makes its page picture. A file that cannot be opened throws
/// ImageOpenError; a file that does not decode gives `loaded` false. No image larger than the
/// decoded page is ever made, however large \p area is.
Prepared prepare(const QString& path, QSize area, bool stretch, int quality);

} // namespace chartpage
