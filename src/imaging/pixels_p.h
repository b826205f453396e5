// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Bitmap helpers shared by the decoders and encoders: the pixel-count guard, colour tables,
// resolution units and the layouts the encoders accept.

#include <QImage>
#include <QList>
#include <QString>

#include <climits>
#include <cstdint>

namespace imaging {

/// Allocates a \p width x \p height image, refusing sizes over \p maxPixels before any memory is
/// taken. Returns a null image and sets \p error when refused or when memory runs out. The
/// pixels are not initialised. When \p recycle holds an unshared image of that size and format,
/// its buffer is taken over (and \p recycle left null): a page loaded into the same bitmap
/// again and again then costs no fresh memory.
QImage allocateImage(qint64 width, qint64 height, QImage::Format format, qint64 maxPixels,
                     QString* error, QImage* recycle = nullptr);

/// 256 grey levels; \p inverted puts white at index 0.
QList<QRgb> grayColorTable(bool inverted = false);

/// Pads a palette to 256 entries with black, so that no index of an 8-bit image points past it.
QList<QRgb> paddedColorTable(QList<QRgb> table, int size = 256);

/// Sets rows \p firstRow up to (not including) \p endRow to white (for indexed images: the
/// lightest entry). A decoder that stops early leaves the rows it did not reach in this state.
void fillWhite(QImage& image, int firstRow, int endRow = INT_MAX);

int dpiFromDotsPerMeter(double dotsPerMeter);
int dotsPerMeterFromDpi(int dpi);

/// Layout an encoder writes.
enum class EncodeLayout : std::uint8_t {
    Bilevel,   ///< Format_Mono, bit 1 = white, bit 0 = black
    TwoColour, ///< Format_Mono with a table of two colours that are not black and white
    Gray,      ///< Format_Grayscale8
    Palette,   ///< Format_Indexed8 with a colour table
    Rgb,       ///< Format_RGB888
};

struct EncodeImage {
    EncodeLayout layout = EncodeLayout::Rgb;
    QImage image;
};

/// Brings any bitmap into one of the layouts: 1-bit bitmaps become Bilevel (the lighter of the
/// two colours is white) unless \p allowPalette is true and their colours are not black and
/// white (TwoColour); grey palettes become Gray, other palettes Palette (or Rgb when
/// \p allowPalette is false), everything else Rgb. Alpha is dropped.
EncodeImage prepareForEncoding(const QImage& image, bool allowPalette);

} // namespace imaging
