// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzzdecode.h"

#include "imaging/inputsource_p.h"

namespace fuzzing {

namespace {

// Small enough that no input makes the fuzzer run out of memory or time.
constexpr qint64 kMaxPixels = qint64(1) << 22;

imaging::DecodeResult decode(imaging::ImageFormat format, const void* data, std::size_t size,
                             imaging::DecodeRequest::Kind kind, QSize wanted = {}) {
    imaging::MemorySource source(data, size);
    imaging::DecodeRequest request;
    request.kind = kind;
    request.size = wanted;
    request.maxPixels = kMaxPixels;
    return imaging::decodeImage(format, source, request);
}

bool losslessFormat(imaging::ImageFormat format) {
    return format == imaging::ImageFormat::Png || format == imaging::ImageFormat::Bmp;
}

} // namespace

bool decodeEveryWay(imaging::ImageFormat format, const std::uint8_t* data, std::size_t size) {
    using Kind = imaging::DecodeRequest::Kind;
    const imaging::DecodeResult header = decode(format, data, size, Kind::Header);
    const imaging::DecodeResult full = decode(format, data, size, Kind::Full);
    const QSize half(static_cast<int>((qint64(full.fullSize.width()) + 1) / 2),
                     static_cast<int>((qint64(full.fullSize.height()) + 1) / 2));
    const imaging::DecodeResult small = decode(format, data, size, Kind::AtLeast, QSize(1, 1));
    const imaging::DecodeResult corner = decode(format, data, size, Kind::TopLeft, half);
    if (!full.ok) {
        return full.image.isNull() || full.image.size() == full.fullSize;
    }
    if (full.image.size() != full.fullSize || !header.ok || header.fullSize != full.fullSize ||
        !small.ok || small.image.isNull() || !corner.ok ||
        corner.image != full.image.copy(0, 0, half.width(), half.height())) {
        return false;
    }
    TImageIOParams params;
    params.dpiX = full.dpiX;
    params.dpiY = full.dpiY;
    params.tiffCompression = full.compression;
    imaging::MemorySink sink;
    QString error;
    if (!imaging::encodeImage(format, full.image, params, sink, &error)) {
        return false;
    }
    const imaging::DecodeResult again =
        decode(format, sink.data().data(), sink.data().size(), Kind::Full);
    if (!again.ok || again.image.size() != full.image.size()) {
        return false;
    }
    if (losslessFormat(format) && again.image.convertToFormat(QImage::Format_RGB888) !=
                                      full.image.convertToFormat(QImage::Format_RGB888)) {
        return false;
    }
    return true;
}

} // namespace fuzzing
