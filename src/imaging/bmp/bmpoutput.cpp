// SPDX-License-Identifier: GPL-3.0-or-later
// Windows bitmap encoding: 1 bit per pixel for black-and-white bitmaps, 24 bits for everything
// else, bottom-up and uncompressed, with the resolution in pixels per metre.

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"
#include "imaging/pixels_p.h"

#include <cstring>
#include <vector>

namespace imaging {

namespace {

void put16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* p, std::uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

} // namespace

bool encodeBmp(const QImage& image, const TImageIOParams& params, MemorySink& sink,
               QString* error) {
    EncodeImage prepared = prepareForEncoding(image, true);
    const bool bilevel =
        prepared.layout == EncodeLayout::Bilevel || prepared.layout == EncodeLayout::TwoColour;
    if (!bilevel && prepared.layout != EncodeLayout::Rgb) {
        prepared.image = prepared.image.convertToFormat(QImage::Format_RGB888);
    }
    if (prepared.image.isNull()) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    const QImage& source = prepared.image;
    const int bits = bilevel ? 1 : 24;
    const auto width = static_cast<std::uint64_t>(source.width());
    const auto height = static_cast<std::uint64_t>(source.height());
    const std::uint64_t stride = (width * bits + 31) / 32 * 4;
    const std::uint32_t paletteBytes = bilevel ? 8 : 0;
    const std::uint32_t offset = 14 + 40 + paletteBytes;
    const std::uint64_t total = offset + stride * height;
    if (total > UINT32_MAX || width > INT32_MAX || height > INT32_MAX) {
        *error = QStringLiteral("image too large for BMP");
        return false;
    }
    unsigned char header[14 + 40 + 8] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, static_cast<std::uint32_t>(total));
    put32(header + 10, offset);
    unsigned char* info = header + 14;
    put32(info, 40);
    put32(info + 4, static_cast<std::uint32_t>(width));
    put32(info + 8, static_cast<std::uint32_t>(height)); // positive: bottom-up
    put16(info + 12, 1);
    put16(info + 14, static_cast<std::uint32_t>(bits));
    put32(info + 20, static_cast<std::uint32_t>(stride * height));
    if (params.dpiX > 0 && params.dpiY > 0) {
        put32(info + 24, static_cast<std::uint32_t>(dotsPerMeterFromDpi(params.dpiX)));
        put32(info + 28, static_cast<std::uint32_t>(dotsPerMeterFromDpi(params.dpiY)));
    }
    if (bilevel) {
        put32(info + 32, 2);
        // The prepared bitmap's two colours; entries are B, G, R, 0.
        const QList<QRgb> table = source.colorTable();
        for (int i = 0; i < 2; ++i) {
            unsigned char* entry = info + 40 + 4 * i;
            entry[0] = static_cast<unsigned char>(qBlue(table.value(i)));
            entry[1] = static_cast<unsigned char>(qGreen(table.value(i)));
            entry[2] = static_cast<unsigned char>(qRed(table.value(i)));
        }
    }
    bool ok = sink.write(header, offset);
    std::vector<unsigned char> row(stride, 0);
    for (std::uint64_t i = 0; ok && i < height; ++i) {
        const uchar* in = source.constScanLine(static_cast<int>(height - 1 - i));
        if (bilevel) {
            std::memcpy(row.data(), in, (width + 7) / 8);
        } else {
            unsigned char* out = row.data();
            for (std::uint64_t x = 0; x < width; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
        }
        ok = sink.write(row.data(), row.size());
    }
    if (!ok) {
        *error = QStringLiteral("out of memory");
    }
    return ok;
}

} // namespace imaging
