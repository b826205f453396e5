// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Fast reads for callers that need less than the whole image: the pixel size alone, an image
/// decoded small enough for a thumbnail or a fitted page, or the top-left corner of a page.
///
/// Every function is safe to call from several threads at once on different files. Like
/// TImageIO::LoadImageFile they choose the format by the extension, throw ImageOpenError when
/// the file cannot be opened, and report a file that does not decode through `failed`.
/// Images come in the layout LoadImageFile gives: Format_Mono for black-and-white,
/// Format_Indexed8 for grey and palette images, Format_RGB888 for colour.

#include "imaging/timageioparams.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace imaging {

/// No image over this many pixels is decoded; the header alone decides, before any allocation.
inline constexpr qint64 maxImagePixels = qint64(1) << 28;

struct ImageReadResult {
    bool failed = true;    ///< as TImageIO::IoFailed: unknown extension, corrupt or too large
    QString error;         ///< why it failed, for logs and support staff
    QImage image;          ///< null for readImageHeader, and when nothing could be decoded
    QSize fullSize;        ///< pixel size of the whole image in the file, once the header was read
    TImageIOParams params; ///< per-file values, as a load fills them
    int scaleDenominator = 1; ///< the image is fullSize divided by this (1, 2, 4 or 8), rounded up
};

/// "JPEG", "TIFF", "BMP" or "PNG" for the format the path's extension names; empty when the
/// extension names none of them.
QString imageFormatName(const QString& path);

/// Reads the header only: fullSize and params, no pixels.
ImageReadResult readImageHeader(const QString& path);

/// Decodes an image at least \p minimumSize in both dimensions (clipped to the full size) and
/// as small as the decoder can make it cheaply: a JPEG is decoded at 1/2, 1/4 or 1/8 scale when
/// that still covers \p minimumSize; other formats are decoded at full size. The caller scales
/// the result to its final size. Resolution on the QImage is adjusted to the scale.
ImageReadResult readImageForSize(const QString& path, QSize minimumSize);

/// Decodes the top-left \p regionSize pixels (clipped to the image). The pixels equal those of a
/// full decode followed by a crop. A JPEG decodes only the rows and columns it needs.
ImageReadResult readImageTopLeft(const QString& path, QSize regionSize);

/// Decodes the whole image in grey levels, as Format_Grayscale8 (not the layout above): a
/// colour JPEG gives its luminance alone, which spares the decoder its colour planes; other
/// images are converted.
ImageReadResult readGreyImage(const QString& path);

} // namespace imaging
