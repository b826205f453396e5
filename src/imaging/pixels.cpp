// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/pixels_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace imaging {

namespace {

int luminance(QRgb color) {
    return qRed(color) * 299 + qGreen(color) * 587 + qBlue(color) * 114;
}

bool isBlack(QRgb color) {
    return (color & 0xFFFFFF) == 0;
}

bool isWhite(QRgb color) {
    return (color & 0xFFFFFF) == 0xFFFFFF;
}

bool isGrayTable(const QList<QRgb>& table) {
    for (QRgb color : table) {
        if (qRed(color) != qGreen(color) || qGreen(color) != qBlue(color)) {
            return false;
        }
    }
    return true;
}

} // namespace

QImage allocateImage(qint64 width, qint64 height, QImage::Format format, qint64 maxPixels,
                     QString* error, QImage* recycle) {
    if (width <= 0 || height <= 0) {
        *error = QStringLiteral("image has no pixels (%1 x %2)").arg(width).arg(height);
        return {};
    }
    if (width > maxPixels / height) {
        *error = QStringLiteral("image of %1 x %2 pixels exceeds the limit of %3 pixels")
                     .arg(width)
                     .arg(height)
                     .arg(maxPixels);
        return {};
    }
    if (recycle != nullptr && recycle->width() == width && recycle->height() == height &&
        recycle->format() == format && recycle->isDetached() && recycle->textKeys().isEmpty()) {
        QImage image = std::move(*recycle);
        // Only the buffer is reused: everything else is as a new image has it.
        const QImage fresh(1, 1, format);
        image.setDotsPerMeterX(fresh.dotsPerMeterX());
        image.setDotsPerMeterY(fresh.dotsPerMeterY());
        image.setOffset(QPoint());
        return image;
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), format);
    if (image.isNull()) {
        *error = QStringLiteral("out of memory for %1 x %2 pixels").arg(width).arg(height);
    }
    return image;
}

QList<QRgb> grayColorTable(bool inverted) {
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i) {
        const int v = inverted ? 255 - i : i;
        table[i] = qRgb(v, v, v);
    }
    return table;
}

QList<QRgb> paddedColorTable(QList<QRgb> table, int size) {
    while (table.size() < size) {
        table.append(qRgb(0, 0, 0));
    }
    return table;
}

void fillWhite(QImage& image, int firstRow, int endRow) {
    firstRow = std::max(firstRow, 0);
    endRow = std::min(endRow, image.height());
    if (image.isNull() || firstRow >= endRow) {
        return;
    }
    int value = 0xFF;
    const QList<QRgb> table = image.colorTable();
    if (!table.isEmpty()) {
        int white = 0;
        for (int i = 1; i < table.size(); ++i) {
            if (luminance(table[i]) > luminance(table[white])) {
                white = i;
            }
        }
        if (image.depth() == 1) {
            value = white == 0 ? 0x00 : 0xFF;
        } else {
            value = white;
        }
    }
    for (int y = firstRow; y < endRow; ++y) {
        std::memset(image.scanLine(y), value, static_cast<std::size_t>(image.bytesPerLine()));
    }
}

int dpiFromDotsPerMeter(double dotsPerMeter) {
    return static_cast<int>(std::lround(dotsPerMeter * 0.0254));
}

int dotsPerMeterFromDpi(int dpi) {
    return static_cast<int>(std::lround(dpi / 0.0254));
}

EncodeImage prepareForEncoding(const QImage& image, bool allowPalette) {
    EncodeImage out;
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: {
        QImage mono = image.convertToFormat(QImage::Format_Mono);
        QList<QRgb> table = mono.colorTable();
        while (table.size() < 2) {
            table.append(table.isEmpty() ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
        table.resize(2);
        const bool blackAndWhite =
            (isBlack(table[0]) && isWhite(table[1])) || (isWhite(table[0]) && isBlack(table[1]));
        if (!blackAndWhite && allowPalette) {
            // Formats with 1-bit palettes keep the two colours as they are.
            mono.setColorTable(table);
            out.layout = EncodeLayout::TwoColour;
            out.image = mono;
            return out;
        }
        // Bit 1 must be the lighter colour; otherwise flip every bit.
        if (luminance(table[0]) > luminance(table[1])) {
            mono.invertPixels();
        }
        mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        out.layout = EncodeLayout::Bilevel;
        out.image = mono;
        return out;
    }
    case QImage::Format_Indexed8: {
        QList<QRgb> table = image.colorTable();
        if (table.isEmpty()) {
            table = grayColorTable();
        }
        if (isGrayTable(table)) {
            QImage gray(image.size(), QImage::Format_Grayscale8);
            if (gray.isNull()) {
                return out;
            }
            unsigned char lut[256];
            for (int i = 0; i < 256; ++i) {
                lut[i] = i < table.size() ? static_cast<unsigned char>(qRed(table[i])) : 0;
            }
            for (int y = 0; y < image.height(); ++y) {
                const uchar* src = image.constScanLine(y);
                uchar* dst = gray.scanLine(y);
                for (int x = 0; x < image.width(); ++x) {
                    dst[x] = lut[src[x]];
                }
            }
            out.layout = EncodeLayout::Gray;
            out.image = gray;
            return out;
        }
        if (allowPalette) {
            out.layout = EncodeLayout::Palette;
            out.image = image;
            out.image.setColorTable(paddedColorTable(table));
            return out;
        }
        break;
    }
    case QImage::Format_Grayscale8:
        out.layout = EncodeLayout::Gray;
        out.image = image;
        return out;
    case QImage::Format_Grayscale16:
        out.layout = EncodeLayout::Gray;
        out.image = image.convertToFormat(QImage::Format_Grayscale8);
        return out;
    default:
        break;
    }
    out.layout = EncodeLayout::Rgb;
    out.image = image.format() == QImage::Format_RGB888
                    ? image
                    : image.convertToFormat(QImage::Format_RGB888);
    return out;
}

} // namespace imaging
