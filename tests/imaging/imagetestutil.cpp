// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagetestutil.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <tiffio.h>

namespace testutil {

QImage colourPage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const bool stripe = (x / 7 + y / 5) % 3 == 0;
            row[3 * x] = static_cast<uchar>(x * 255 / std::max(1, width - 1));
            row[3 * x + 1] = static_cast<uchar>(y * 255 / std::max(1, height - 1));
            row[3 * x + 2] = stripe ? 40 : 200;
        }
    }
    return image;
}

QImage noisyPage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    std::uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int i = 0; i < width * 3; ++i) {
            state = state * 1664525U + 1013904223U;
            row[i] = static_cast<uchar>(state >> 24);
        }
    }
    return image;
}

QImage grayPage(int width, int height) {
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i) {
        table.append(qRgb(i, i, i));
    }
    image.setColorTable(table);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[x] = static_cast<uchar>((x * 3 + y * 5) % 256);
        }
    }
    return image;
}

QImage monoPage(int width, int height) {
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    image.fill(0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((x / 3 + y / 2) % 4 == 0 || x == y) {
                image.setPixel(x, y, 1);
            }
        }
    }
    return image;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

namespace {

template <typename Combine> void forEachChannel(const QImage& a, const QImage& b, Combine combine) {
    const QImage ra = a.convertToFormat(QImage::Format_RGB888);
    const QImage rb = b.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < ra.height(); ++y) {
        const uchar* pa = ra.constScanLine(y);
        const uchar* pb = rb.constScanLine(y);
        for (int i = 0; i < ra.width() * 3; ++i) {
            combine(std::abs(int(pa[i]) - int(pb[i])));
        }
    }
}

} // namespace

int maxChannelDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return 256;
    }
    int worst = 0;
    forEachChannel(a, b, [&](int d) { worst = std::max(worst, d); });
    return worst;
}

double meanChannelDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) {
        return 256;
    }
    double sum = 0;
    forEachChannel(a, b, [&](int d) { sum += d; });
    return sum / (double(a.width()) * a.height() * 3);
}

TiffTags tiffTags(const QString& path) {
    TiffTags tags;
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (tif == nullptr) {
        return tags;
    }
    std::uint16_t value = 0;
    if (TIFFGetField(tif, TIFFTAG_COMPRESSION, &value)) {
        tags.compression = value;
    }
    TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &tags.t4Options);
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &value)) {
        tags.photometric = value;
    }
    if (TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &value)) {
        tags.bitsPerSample = value;
    }
    tags.pages = TIFFNumberOfDirectories(tif);
    TIFFClose(tif);
    return tags;
}

void writeTiff(const QString& path, const QList<QImage>& pages, std::uint16_t compression) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (tif == nullptr) {
        return;
    }
    for (const QImage& page : pages) {
        const QImage rgb = page.convertToFormat(QImage::Format_RGB888);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, rgb.width());
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, rgb.height());
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 150.0F);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 150.0F);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        QByteArray row(rgb.width() * 3, '\0');
        for (int y = 0; y < rgb.height(); ++y) {
            std::memcpy(row.data(), rgb.constScanLine(y), static_cast<size_t>(row.size()));
            TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0);
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
}

int jpegFirstLuminanceQuant(const QString& path) {
    const QByteArray bytes = readFile(path);
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    const int value = cinfo.quant_tbl_ptrs[0] ? cinfo.quant_tbl_ptrs[0]->quantval[0] : -1;
    jpeg_destroy_decompress(&cinfo);
    return value;
}

} // namespace testutil
