// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartpageimage.h"

#include "imaging/imagereader.h"
#include "imaging/jpegencoder.h"
#include "imaging/resample.h"

#include <QImage>
#include <cmath>

namespace chartpage {

namespace {

bool fitsWithin(QSize size, QSize bounds) {
    return size.width() <= bounds.width() && size.height() <= bounds.height();
}

} // namespace

int effectiveQuality(int quality) {
    if (quality < 0) {
        return 100;
    }
    return std::clamp(quality, 50, 100);
}

QSize imageArea(int pageWidth, int pageHeight) {
    return QSize(pageWidth - AreaReduction, pageHeight - AreaReduction);
}

bool cropDropsMost(QSize image, QSize area) {
    if (image.isEmpty()) {
        return false;
    }
    const QSize kept = placedSize(image, area, false).expandedTo(QSize(0, 0));
    return 2 * qint64(kept.width()) * kept.height() < qint64(image.width()) * image.height();
}

QSize placedSize(QSize image, QSize area, bool stretch) {
    const qint64 w = image.width();
    const qint64 h = image.height();
    const qint64 a = area.width();
    const qint64 b = area.height();
    if (!stretch) {
        return QSize(static_cast<int>(std::min(w, a)), static_cast<int>(std::min(h, b)));
    }
    if (w <= 0 || h <= 0 || a <= 0 || b <= 0) {
        return QSize(0, 0);
    }
    // w / a > h / b compared exactly, without division.
    const float scale = w * b > h * a ? static_cast<float>(a) / static_cast<float>(w)
                                      : static_cast<float>(b) / static_cast<float>(h);
    return QSize(static_cast<int>(std::trunc(static_cast<double>(w) * scale)),
                 static_cast<int>(std::trunc(static_cast<double>(h) * scale)));
}

Prepared prepare(const QString& path, QSize area, bool stretch, int quality) {
    Prepared page;
    QImage pixels;
    if (stretch) {
        const auto header = imaging::readImageHeader(path);
        if (header.failed) {
            return page;
        }
        const QSize target = placedSize(header.fullSize, area, true);
        if (target.isEmpty()) {
            return page;
        }
        // Decoded at the smallest DCT scale still at least the target size (at full size when
        // the target is larger), then reduced to the target. An enlargement is left to the
        // placement on the page: resampling up would only add pixels the page image does not
        // have, at a memory cost that grows with the page size.
        const auto decoded = imaging::readImageForSize(path, target);
        if (decoded.failed || decoded.image.isNull()) {
            return page;
        }
        pixels = fitsWithin(target, decoded.image.size()) ? imaging::resample(decoded.image, target)
                                                          : decoded.image;
        page.placed = target;
    } else {
        // Only the top-left corner that the page keeps is decoded.
        const auto decoded = imaging::readImageTopLeft(path, area);
        if (decoded.failed || decoded.image.isNull()) {
            return page;
        }
        pixels = decoded.image.convertToFormat(QImage::Format_RGB888);
        page.placed = pixels.size();
    }
    if (pixels.format() != QImage::Format_RGB888) {
        pixels = pixels.convertToFormat(QImage::Format_RGB888);
    }
    const QByteArray jpeg = imaging::encodeJpegBytes(pixels, effectiveQuality(quality));
    if (jpeg.isEmpty()) {
        return page;
    }
    page.picture.bytes.assign(jpeg.begin(), jpeg.end());
    page.picture.width = pixels.width();
    page.picture.height = pixels.height();
    page.loaded = true;
    return page;
}

} // namespace chartpage
