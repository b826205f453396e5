#include "imaging/imagereader.h"

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"

namespace imaging {

namespace {

ImageReadResult read(const QString& path, DecodeRequest::Kind kind, QSize size) {
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
    DecodeResult result = decodeImage(format, file, request);
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

} // namespace imaging
