// SPDX-License-Identifier: GPL-3.0-or-later
// TIFF decoding with libtiff. Black-and-white, grey, palette and RGB images with contiguous
// samples are read strip by strip or tile by tile into their own layouts; everything else
// (separate planes, CMYK, YCbCr without JPEG) goes through libtiff's RGBA reader and arrives as
// 24-bit RGB.

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"
#include "imaging/pixels_p.h"
#include "imaging/tiff/tiffio_p.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

enum class Path : std::uint8_t { Bilevel, Gray, Palette, Rgb, Rgba };

struct Layout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitsPerSample = 1;
    std::uint16_t samplesPerPixel = 1;
    std::uint16_t photometric = 0;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t compression = COMPRESSION_NONE;
};

QString messageOr(const TiffMessages& messages, const char* fallback) {
    return QString::fromLocal8Bit(messages.error[0] ? messages.error : fallback);
}

TiffCompression compressionFor(std::uint16_t tag, std::uint32_t t4Options) {
    switch (tag) {
    case COMPRESSION_NONE:
        return TiffCompression::None;
    case COMPRESSION_CCITTRLE:
        return TiffCompression::CcittRle;
    case COMPRESSION_CCITTFAX3:
        return (t4Options & GROUP3OPT_2DENCODING) ? TiffCompression::G3TwoD
                                                  : TiffCompression::G3OneD;
    case COMPRESSION_CCITTFAX4:
        return TiffCompression::G4;
    case COMPRESSION_LZW:
        return TiffCompression::Lzw;
    case COMPRESSION_OJPEG:
        return TiffCompression::OldJpeg;
    case COMPRESSION_JPEG:
        return TiffCompression::Jpeg;
    case COMPRESSION_PACKBITS:
        return TiffCompression::PackBits;
    default:
        return TiffCompression::Other;
    }
}

int dpiFrom(float resolution, std::uint16_t unit) {
    if (!std::isfinite(resolution) || resolution <= 0.0F || resolution > 1.0e6F) {
        return 0;
    }
    if (unit == RESUNIT_INCH) {
        return static_cast<int>(std::lround(resolution));
    }
    if (unit == RESUNIT_CENTIMETER) {
        return static_cast<int>(std::lround(resolution * 2.54));
    }
    return 0;
}

bool isOneOf(std::uint16_t value, std::initializer_list<std::uint16_t> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

Path choosePath(const Layout& l) {
    if (l.planar != PLANARCONFIG_CONTIG) {
        return Path::Rgba;
    }
    const bool gray =
        l.photometric == PHOTOMETRIC_MINISWHITE || l.photometric == PHOTOMETRIC_MINISBLACK;
    if (gray && l.samplesPerPixel == 1 && l.bitsPerSample == 1) {
        return Path::Bilevel;
    }
    if (gray && l.samplesPerPixel == 1 && isOneOf(l.bitsPerSample, {2, 4, 8, 16})) {
        return Path::Gray;
    }
    if (gray && l.samplesPerPixel == 2 && isOneOf(l.bitsPerSample, {8, 16})) {
        return Path::Gray;
    }
    if (l.photometric == PHOTOMETRIC_PALETTE && l.samplesPerPixel == 1 &&
        isOneOf(l.bitsPerSample, {1, 2, 4, 8})) {
        return Path::Palette;
    }
    const bool jpegYCbCr = l.photometric == PHOTOMETRIC_YCBCR &&
                           l.compression == COMPRESSION_JPEG && l.bitsPerSample == 8;
    if ((l.photometric == PHOTOMETRIC_RGB || jpegYCbCr) &&
        (l.samplesPerPixel == 3 || l.samplesPerPixel == 4) && isOneOf(l.bitsPerSample, {8, 16})) {
        return Path::Rgb;
    }
    return Path::Rgba;
}

// One sample of a row as an 8-bit value.
int sampleAt(const std::uint8_t* row, std::uint32_t index, std::uint16_t bits) {
    switch (bits) {
    case 16: {
        std::uint16_t value = 0;
        std::memcpy(&value, row + 2 * std::size_t(index), 2);
        return value >> 8;
    }
    case 8:
        return row[index];
    case 4:
        return ((row[index / 2] >> (4 * (1 - index % 2))) & 0x0F) * 17;
    case 2:
        return ((row[index / 4] >> (2 * (3 - index % 4))) & 0x03) * 85;
    default:
        return ((row[index / 8] >> (7 - index % 8)) & 0x01) * 255;
    }
}

int indexAt(const std::uint8_t* row, std::uint32_t index, std::uint16_t bits) {
    switch (bits) {
    case 8:
        return row[index];
    case 4:
        return (row[index / 2] >> (4 * (1 - index % 2))) & 0x0F;
    case 2:
        return (row[index / 4] >> (2 * (3 - index % 4))) & 0x03;
    default:
        return (row[index / 8] >> (7 - index % 8)) & 0x01;
    }
}

QList<QRgb> paletteOf(TIFF* tif, std::uint16_t bits) {
    std::uint16_t* red = nullptr;
    std::uint16_t* green = nullptr;
    std::uint16_t* blue = nullptr;
    QList<QRgb> table;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) {
        return table;
    }
    const int count = 1 << bits;
    // The tag holds 16-bit values; some writers put 8-bit values in it.
    int shift = 0;
    for (int i = 0; i < count; ++i) {
        if (red[i] > 255 || green[i] > 255 || blue[i] > 255) {
            shift = 8;
            break;
        }
    }
    for (int i = 0; i < count; ++i) {
        table.append(qRgb(red[i] >> shift, green[i] >> shift, blue[i] >> shift));
    }
    return table;
}

// Converts one row of contiguous samples into a row of the image.
void convertRow(const std::uint8_t* row, uchar* out, const Layout& l, Path path) {
    const std::uint32_t width = l.width;
    const std::uint16_t spp = l.samplesPerPixel;
    const std::uint16_t bits = l.bitsPerSample;
    switch (path) {
    case Path::Bilevel:
        std::memcpy(out, row, (width + 7) / 8);
        break;
    case Path::Gray:
        if (bits == 8 && spp == 1) {
            std::memcpy(out, row, width);
        } else {
            for (std::uint32_t x = 0; x < width; ++x) {
                out[x] = static_cast<uchar>(sampleAt(row, x * spp, bits));
            }
        }
        break;
    case Path::Palette:
        if (bits == 1) {
            std::memcpy(out, row, (width + 7) / 8);
        } else {
            for (std::uint32_t x = 0; x < width; ++x) {
                out[x] = static_cast<uchar>(indexAt(row, x, bits));
            }
        }
        break;
    case Path::Rgb:
        if (bits == 8 && spp == 3) {
            std::memcpy(out, row, std::size_t(width) * 3);
        } else {
            for (std::uint32_t x = 0; x < width; ++x) {
                for (std::uint32_t c = 0; c < 3; ++c) {
                    out[3 * x + c] = static_cast<uchar>(sampleAt(row, x * spp + c, bits));
                }
            }
        }
        break;
    case Path::Rgba:
        break;
    }
}

std::uint64_t rowBytes(const Layout& l) {
    return (std::uint64_t(l.width) * l.samplesPerPixel * l.bitsPerSample + 7) / 8;
}

// Reads strips row by row. Returns the number of complete rows.
int readStrips(TIFF* tif, const Layout& l, Path path, QImage& image, bool* ok) {
    *ok = false;
    const tmsize_t scanlineSize = TIFFScanlineSize(tif);
    if (scanlineSize <= 0 || std::uint64_t(scanlineSize) < rowBytes(l)) {
        return 0;
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(scanlineSize));
    const auto height = static_cast<int>(l.height);
    for (int y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
            return y;
        }
        convertRow(row.data(), image.scanLine(y), l, path);
    }
    *ok = true;
    return height;
}

// Reads a tiled image one band of tiles at a time, assembling whole rows. Returns the number
// of complete rows.
int readTiles(TIFF* tif, const Layout& l, Path path, QImage& image, bool* ok) {
    *ok = false;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
    const tmsize_t tileSize = TIFFTileSize(tif);
    const tmsize_t tileRowSize = TIFFTileRowSize(tif);
    const std::uint64_t bitsPerPixel = std::uint64_t(l.samplesPerPixel) * l.bitsPerSample;
    const std::uint64_t bandRow = rowBytes(l);
    if (tileWidth == 0 || tileHeight == 0 || tileSize <= 0 || tileRowSize <= 0 ||
        (tileWidth * bitsPerPixel) % 8 != 0 ||
        std::uint64_t(tileRowSize) * tileHeight > std::uint64_t(tileSize) ||
        bandRow * tileHeight > std::uint64_t(kTiffMaxSingleAlloc)) {
        return 0;
    }
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileSize));
    std::vector<std::uint8_t> band(static_cast<std::size_t>(bandRow * tileHeight));
    for (std::uint32_t ty = 0; ty < l.height; ty += tileHeight) {
        const std::uint32_t rows = std::min(tileHeight, l.height - ty);
        for (std::uint32_t tx = 0; tx < l.width; tx += tileWidth) {
            if (TIFFReadTile(tif, tile.data(), tx, ty, 0, 0) < 0) {
                return static_cast<int>(ty);
            }
            const std::uint64_t offset = tx * bitsPerPixel / 8;
            const std::uint64_t count =
                std::min<std::uint64_t>(std::uint64_t(tileRowSize), bandRow - offset);
            for (std::uint32_t r = 0; r < rows; ++r) {
                std::memcpy(band.data() + r * bandRow + offset,
                            tile.data() + std::size_t(r) * std::size_t(tileRowSize), count);
            }
        }
        for (std::uint32_t r = 0; r < rows; ++r) {
            convertRow(band.data() + r * bandRow, image.scanLine(static_cast<int>(ty + r)), l,
                       path);
        }
    }
    *ok = true;
    return static_cast<int>(l.height);
}

void putRgbaRow(const std::uint32_t* in, uchar* out, std::uint32_t count) {
    for (std::uint32_t x = 0; x < count; ++x, out += 3) {
        out[0] = static_cast<uchar>(TIFFGetR(in[x]));
        out[1] = static_cast<uchar>(TIFFGetG(in[x]));
        out[2] = static_cast<uchar>(TIFFGetB(in[x]));
    }
}

// libtiff's RGBA reader, one strip or tile at a time. Its rasters run bottom-up. Returns the
// number of complete rows (tiled images: all rows or none).
int readRgba(TIFF* tif, const Layout& l, QImage& image, bool* ok, QString* error) {
    *ok = false;
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) {
        *error = QString::fromLocal8Bit(message);
        return 0;
    }
    const std::uint32_t width = l.width;
    const std::uint32_t height = l.height;
    if (TIFFIsTiled(tif)) {
        std::uint32_t tileWidth = 0;
        std::uint32_t tileHeight = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
        if (tileWidth == 0 || tileHeight == 0 ||
            std::uint64_t(tileWidth) * tileHeight * 4 > std::uint64_t(kTiffMaxSingleAlloc)) {
            *error = QStringLiteral("unusable tile size %1 x %2").arg(tileWidth).arg(tileHeight);
            return 0;
        }
        std::vector<std::uint32_t> raster(std::size_t(tileWidth) * tileHeight);
        for (std::uint32_t ty = 0; ty < height; ty += tileHeight) {
            for (std::uint32_t tx = 0; tx < width; tx += tileWidth) {
                if (!TIFFReadRGBATile(tif, tx, ty, raster.data())) {
                    return static_cast<int>(ty);
                }
                const std::uint32_t rows = std::min(tileHeight, height - ty);
                const std::uint32_t columns = std::min(tileWidth, width - tx);
                for (std::uint32_t r = 0; r < rows; ++r) {
                    putRgbaRow(raster.data() + std::size_t(tileHeight - 1 - r) * tileWidth,
                               image.scanLine(static_cast<int>(ty + r)) + 3 * std::size_t(tx),
                               columns);
                }
            }
        }
    } else {
        std::uint32_t rowsPerStrip = height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, height);
        if (std::uint64_t(width) * rowsPerStrip * 4 > std::uint64_t(kTiffMaxSingleAlloc)) {
            *error = QStringLiteral("strips of %1 rows are too large").arg(rowsPerStrip);
            return 0;
        }
        std::vector<std::uint32_t> raster(std::size_t(width) * rowsPerStrip);
        for (std::uint32_t row = 0; row < height; row += rowsPerStrip) {
            if (!TIFFReadRGBAStrip(tif, row, raster.data())) {
                return static_cast<int>(row);
            }
            const std::uint32_t rows = std::min(rowsPerStrip, height - row);
            for (std::uint32_t r = 0; r < rows; ++r) {
                putRgbaRow(raster.data() + std::size_t(rows - 1 - r) * width,
                           image.scanLine(static_cast<int>(row + r)), width);
            }
        }
    }
    *ok = true;
    return static_cast<int>(height);
}

} // namespace

DecodeResult decodeTiff(InputSource& input, const DecodeRequest& request) {
    DecodeResult result;
    TiffMessages messages;
    TIFF* tif = openTiffForReading(&input, &messages);
    if (tif == nullptr) {
        result.error = messageOr(messages, "not a TIFF file");
        return result;
    }
    TiffCloser closer(tif);
    if (request.tiffPage > 0 && !TIFFSetDirectory(tif, static_cast<tdir_t>(request.tiffPage))) {
        result.error = QStringLiteral("the file has no page %1").arg(request.tiffPage + 1);
        return result;
    }
    Layout l;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width) ||
        !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height) ||
        !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric)) {
        result.error = messageOr(messages, "image size or colour model missing");
        return result;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samplesPerPixel);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &l.compression);
    std::uint32_t t4Options = 0;
    if (l.compression == COMPRESSION_CCITTFAX3) {
        TIFFGetFieldDefaulted(tif, TIFFTAG_GROUP3OPTIONS, &t4Options);
    }
    float resolutionX = 0;
    float resolutionY = 0;
    std::uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resolutionX) &&
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &resolutionY)) {
        result.dpiX = dpiFrom(resolutionX, unit);
        result.dpiY = dpiFrom(resolutionY, unit);
        if (result.dpiX == 0 || result.dpiY == 0) {
            result.dpiX = result.dpiY = 0;
        }
    }
    result.fullSize = QSize(static_cast<int>(std::min<std::uint32_t>(l.width, INT_MAX)),
                            static_cast<int>(std::min<std::uint32_t>(l.height, INT_MAX)));
    result.compression = compressionFor(l.compression, t4Options);
    result.bitsPerSample = l.bitsPerSample;
    result.samplesPerPixel = l.samplesPerPixel;
    if (qint64(l.width) * l.height > request.maxPixels) {
        result.error = QStringLiteral("image of %1 x %2 pixels exceeds the limit of %3 pixels")
                           .arg(l.width)
                           .arg(l.height)
                           .arg(request.maxPixels);
        return result;
    }
    if (request.kind == DecodeRequest::Kind::Header) {
        result.ok = true;
        return result;
    }

    const Path path = choosePath(l);
    if (path == Path::Rgb && l.photometric == PHOTOMETRIC_YCBCR) {
        // Let the JPEG codec convert to RGB and undo the chroma subsampling.
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    QImage::Format format = QImage::Format_RGB888;
    QList<QRgb> table;
    if (path == Path::Bilevel) {
        format = QImage::Format_Mono;
        const QRgb black = qRgb(0, 0, 0);
        const QRgb white = qRgb(255, 255, 255);
        table = l.photometric == PHOTOMETRIC_MINISWHITE ? QList<QRgb>{white, black}
                                                        : QList<QRgb>{black, white};
    } else if (path == Path::Gray) {
        format = QImage::Format_Indexed8;
        table = grayColorTable(l.photometric == PHOTOMETRIC_MINISWHITE);
    } else if (path == Path::Palette) {
        format = l.bitsPerSample == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
        table = paddedColorTable(paletteOf(tif, l.bitsPerSample), l.bitsPerSample == 1 ? 2 : 256);
    }
    QImage image =
        allocateImage(l.width, l.height, format, request.maxPixels, &result.error, request.recycle);
    if (image.isNull()) {
        return result;
    }
    if (!table.isEmpty()) {
        image.setColorTable(table);
    }
    bool ok = false;
    int rowsDone = 0;
    if (path == Path::Rgba) {
        rowsDone = readRgba(tif, l, image, &ok, &result.error);
    } else if (TIFFIsTiled(tif)) {
        rowsDone = readTiles(tif, l, path, image, &ok);
    } else {
        rowsDone = readStrips(tif, l, path, image, &ok);
    }
    if (!ok) {
        if (result.error.isEmpty()) {
            result.error = messageOr(messages, "the image data cannot be read");
        }
        fillWhite(image, rowsDone);
    }
    result.image = image;
    result.ok = ok;
    return result;
}

} // namespace imaging
