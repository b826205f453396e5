// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF encoding with libtiff: bilevel (min-is-white) for 1-bit bitmaps, 8-bit grey, and RGB
// for everything in colour, compressed as the parameters say where the layout allows it.

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"
#include "imaging/pixels_p.h"
#include "imaging/tiff/tiffio_p.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

bool isCcitt(std::uint16_t compression) {
    return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
           compression == COMPRESSION_CCITTFAX4;
}

} // namespace

bool encodeTiff(const QImage& image, const TImageIOParams& params, MemorySink& sink,
                QString* error) {
    // Colour palettes are written as RGB.
    const EncodeImage prepared = prepareForEncoding(image, false);
    if (prepared.image.isNull()) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    const QImage& source = prepared.image;
    const bool bilevel = prepared.layout == EncodeLayout::Bilevel;
    const bool rgb = prepared.layout == EncodeLayout::Rgb;
    auto compression =
        static_cast<std::uint16_t>(tiffCompressionTagWritten(params.tiffCompression));
    // The fax codings take only black and white, JPEG takes no 1-bit images: other layouts are
    // written uncompressed rather than changed.
    if ((isCcitt(compression) && !bilevel) || (compression == COMPRESSION_JPEG && bilevel)) {
        compression = COMPRESSION_NONE;
    }

    TiffMessages messages;
    TIFF* tif = openTiffForWriting(&sink, &messages);
    if (tif == nullptr) {
        *error = QString::fromLocal8Bit(messages.error[0] ? messages.error : "out of memory");
        return false;
    }
    TiffCloser closer(tif);
    const auto width = static_cast<std::uint32_t>(source.width());
    const auto height = static_cast<std::uint32_t>(source.height());
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bilevel ? 1 : 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, rgb ? 3 : 1);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    if (bilevel) {
        photometric = PHOTOMETRIC_MINISWHITE;
    } else if (rgb) {
        photometric = compression == COMPRESSION_JPEG ? PHOTOMETRIC_YCBCR : PHOTOMETRIC_RGB;
    }
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    if (compression == COMPRESSION_CCITTFAX3) {
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS,
                     params.tiffCompression == TiffCompression::G3TwoD ? GROUP3OPT_2DENCODING : 0U);
    }
    std::uint32_t rowsPerStrip = TIFFDefaultStripSize(tif, 0);
    if (compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, std::clamp(params.jpegQuality, 1, 100));
        if (rgb) {
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
        rowsPerStrip = std::max<std::uint32_t>(16, (rowsPerStrip + 15) / 16 * 16);
    } else if (isCcitt(compression)) {
        rowsPerStrip = height; // fax readers expect one strip
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, std::min(rowsPerStrip, height));
    if (params.dpiX > 0 && params.dpiY > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(params.dpiX));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(params.dpiY));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }

    // libtiff may change the row it is given, so each row goes through a copy.
    const std::size_t rowBytes = bilevel ? (width + 7) / 8 : std::size_t(width) * (rgb ? 3 : 1);
    std::vector<std::uint8_t> row(rowBytes);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::memcpy(row.data(), source.constScanLine(static_cast<int>(y)), rowBytes);
        if (bilevel) {
            for (auto& byte : row) {
                byte = static_cast<std::uint8_t>(~byte); // bit 1 = white becomes bit 1 = black
            }
        }
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) {
            *error = QString::fromLocal8Bit(messages.error[0] ? messages.error : "write failed");
            return false;
        }
    }
    if (!TIFFWriteDirectory(tif)) {
        *error = QString::fromLocal8Bit(messages.error[0] ? messages.error : "write failed");
        return false;
    }
    return true;
}

} // namespace imaging
