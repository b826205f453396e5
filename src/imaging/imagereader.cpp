// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/imagereader.h"

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"

namespace imaging {

namespace {

/// \p image in grey levels by the weights of a JPEG's luminance, so that every format gives the
/// grey a colour JPEG gives.
QImage luminanceOf(const QImage& image) {
    if (image.format() != QImage::Format_RGB888 && image.allGray()) {
        return image.convertToFormat(QImage::Format_Grayscale8);
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QImage grey(rgb.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* in = rgb.constScanLine(y);
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x, in += 3) {
            out[x] =
                static_cast<uchar>((19595 * in[0] + 38470 * in[1] + 7471 * in[2] + 32768) >> 16);
        }
    }
    return grey;
}

ImageReadResult read(const QString& path, DecodeRequest::Kind kind, QSize size, bool grey = false) {
    ImageReadResult out;
    const ImageFormat format = formatForPath(path);
    if (format == ImageFormat::Unknown) {
        out.error = QStringLiteral("unsupported file extension");
        return out;
    }
    FileSource file(path); // throws ImageOpenError
    DecodeRequest request;
    request.kind = kind;
    request.size = size;
    request.luminance = grey;
    DecodeResult result = decodeImage(format, file, request);
    if (grey && !result.image.isNull() && result.image.format() != QImage::Format_Grayscale8) {
        result.image = luminanceOf(result.image);
    }
    out.failed = !result.ok;
    out.error = result.error;
    out.image = result.image;
    out.fullSize = result.fullSize;
    out.params.dpiX = result.dpiX;
    out.params.dpiY = result.dpiY;
    out.params.tiffCompression = result.compression;
    out.params.bitsPerSample = result.bitsPerSample;
    out.params.samplesPerPixel = result.samplesPerPixel;
    out.scaleDenominator = result.scaleDenominator;
    return out;
}

} // namespace

QString imageFormatName(const QString& path) {
    const ImageFormat format = formatForPath(path);
    return format == ImageFormat::Unknown ? QString() : formatName(format);
}

ImageReadResult readImageHeader(const QString& path) {
    return read(path, DecodeRequest::Kind::Header, {});
}

ImageReadResult readImageForSize(const QString& path, QSize minimumSize) {
    return read(path, DecodeRequest::Kind::AtLeast, minimumSize);
}

ImageReadResult readImageTopLeft(const QString& path, QSize regionSize) {
    return read(path, DecodeRequest::Kind::TopLeft, regionSize);
}

ImageReadResult readGreyImage(const QString& path) {
    return read(path, DecodeRequest::Kind::Full, {}, true);
}

} // namespace imaging
