// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/codec_p.h"

#include "imaging/inputsource_p.h"
#include "imaging/pixels_p.h"

#include <QFileInfo>

#include <cmath>
#include <cstring>
#include <new>

namespace imaging {

ImageFormat formatForPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"jpg" || suffix == u"jpeg" || suffix == u"jpe") {
        return ImageFormat::Jpeg;
    }
    if (suffix == u"tif" || suffix == u"tiff") {
        return ImageFormat::Tiff;
    }
    if (suffix == u"bmp") {
        return ImageFormat::Bmp;
    }
    if (suffix == u"png") {
        return ImageFormat::Png;
    }
    return ImageFormat::Unknown;
}

QString formatName(ImageFormat format) {
    switch (format) {
    case ImageFormat::Jpeg:
        return QStringLiteral("JPEG");
    case ImageFormat::Tiff:
        return QStringLiteral("TIFF");
    case ImageFormat::Bmp:
        return QStringLiteral("BMP");
    case ImageFormat::Png:
        return QStringLiteral("PNG");
    case ImageFormat::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

DecodeResult decodeImage(ImageFormat format, InputSource& input, const DecodeRequest& request) {
    DecodeResult result;
    try {
        switch (format) {
        case ImageFormat::Jpeg:
            result = decodeJpeg(input, request);
            break;
        case ImageFormat::Png:
            result = decodePng(input, request);
            break;
        case ImageFormat::Tiff:
            result = decodeTiff(input, request);
            break;
        case ImageFormat::Bmp:
            result = decodeBmp(input, request);
            break;
        case ImageFormat::Unknown:
            result.error = QStringLiteral("unsupported file extension");
            return result;
        }
    } catch (const std::bad_alloc&) {
        result = DecodeResult{};
        result.error = QStringLiteral("out of memory");
        return result;
    }
    if (!result.ok && input.readError() != 0) {
        // The decoder saw a short file; say what the system said instead.
        result.error = QStringLiteral("read error: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(input.readError())));
    } else if (!result.ok && result.error.isEmpty()) {
        result.error = QStringLiteral("decoding failed");
    }
    if (request.kind == DecodeRequest::Kind::TopLeft && !result.image.isNull() &&
        (result.image.width() > request.size.width() ||
         result.image.height() > request.size.height())) {
        // Formats without a partial decode are cropped after a full one.
        result.image = result.image.copy(0, 0, std::min(result.image.width(), request.size.width()),
                                         std::min(result.image.height(), request.size.height()));
    }
    if (!result.image.isNull() && result.dpiX > 0 && result.dpiY > 0) {
        // A reduced decode covers the same paper with fewer pixels.
        const double scale = 0.0254 * result.scaleDenominator;
        result.image.setDotsPerMeterX(static_cast<int>(std::lround(result.dpiX / scale)));
        result.image.setDotsPerMeterY(static_cast<int>(std::lround(result.dpiY / scale)));
    }
    return result;
}

bool encodeImage(ImageFormat format, const QImage& image, const TImageIOParams& params,
                 MemorySink& sink, QString* error) {
    if (image.isNull()) {
        *error = QStringLiteral("there is no image to write");
        return false;
    }
    try {
        switch (format) {
        case ImageFormat::Jpeg:
            return encodeJpeg(image, params, sink, error);
        case ImageFormat::Png:
            return encodePng(image, params, sink, error);
        case ImageFormat::Tiff:
            return encodeTiff(image, params, sink, error);
        case ImageFormat::Bmp:
            return encodeBmp(image, params, sink, error);
        case ImageFormat::Unknown:
            break;
        }
        *error = QStringLiteral("unsupported file extension");
    } catch (const std::bad_alloc&) {
        *error = QStringLiteral("out of memory");
    }
    return false;
}

} // namespace imaging
