// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The decoders and encoders behind TImageIO and the fast reads. Each format lives in its own
// folder; this header is what they share.

#include "imaging/imagereader.h"
#include "imaging/timageioparams.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>

namespace imaging {

class InputSource;
class MemorySink;

enum class ImageFormat : std::uint8_t { Unknown, Jpeg, Tiff, Bmp, Png };

/// The format named by the path's extension, compared without regard to case. The content is
/// never looked at.
ImageFormat formatForPath(const QString& path);
QString formatName(ImageFormat format);

struct DecodeRequest {
    enum class Kind : std::uint8_t {
        Full,    ///< the whole image at full size
        Header,  ///< size and per-file values only, no pixels
        AtLeast, ///< JPEG: the smallest DCT scaling still at least `size`; others: full size
        TopLeft, ///< the top-left `size` pixels (clipped to the image)
    };
    Kind kind = Kind::Full;
    QSize size;
    qint64 maxPixels = maxImagePixels;
    int tiffPage = 0;
    QImage* recycle = nullptr; ///< a bitmap whose buffer may be reused (see allocateImage)
    /// JPEG: the luminance alone, as Format_Grayscale8, for readers that want grey levels; the
    /// colour planes are never transformed.
    bool luminance = false;
};

struct DecodeResult {
    bool ok = false;
    QString error;
    QImage image;   ///< Mono, Indexed8 or RGB888; what was decoded so far when !ok
    QSize fullSize; ///< size of the whole image as the header gives it
    int dpiX = 0;
    int dpiY = 0;
    TiffCompression compression = TiffCompression::None;
    int bitsPerSample = 0;
    int samplesPerPixel = 0;
    int scaleDenominator = 1;
};

/// Decodes from \p input. Never throws: running out of memory is a failed decode.
DecodeResult decodeImage(ImageFormat format, InputSource& input, const DecodeRequest& request);

/// Encodes \p image into \p sink. Returns false with \p error set when encoding fails.
bool encodeImage(ImageFormat format, const QImage& image, const TImageIOParams& params,
                 MemorySink& sink, QString* error);

DecodeResult decodeJpeg(InputSource& input, const DecodeRequest& request);
DecodeResult decodePng(InputSource& input, const DecodeRequest& request);
DecodeResult decodeTiff(InputSource& input, const DecodeRequest& request);
DecodeResult decodeBmp(InputSource& input, const DecodeRequest& request);

bool encodeJpeg(const QImage& image, const TImageIOParams& params, MemorySink& sink,
                QString* error);
bool encodePng(const QImage& image, const TImageIOParams& params, MemorySink& sink, QString* error);
bool encodeTiff(const QImage& image, const TImageIOParams& params, MemorySink& sink,
                QString* error);
bool encodeBmp(const QImage& image, const TImageIOParams& params, MemorySink& sink, QString* error);

} // namespace imaging
