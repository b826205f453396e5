// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/pagecolours.h"

PageColours::PageColours(const QImage& page) {
    switch (page.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        m_table = page.colorTable();
        m_kind = m_table.isEmpty() ? Kind::BlackWhite : Kind::Table;
        m_format = QImage::Format_Mono;
        break;
    case QImage::Format_Indexed8:
        m_table = page.colorTable();
        m_kind = m_table.isEmpty() ? Kind::Grey : Kind::Table;
        m_format = m_table.isEmpty() ? QImage::Format_Grayscale8 : QImage::Format_Indexed8;
        break;
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
        m_kind = Kind::Grey;
        m_format = QImage::Format_Grayscale8;
        break;
    default:
        break;
    }
}

QImage PageColours::inPageFormat(const QImage& bitmap) const {
    switch (m_kind) {
    case Kind::EveryColour:
        return bitmap.convertToFormat(QImage::Format_RGB888);
    case Kind::Grey:
        return bitmap.convertToFormat(QImage::Format_Grayscale8);
    case Kind::BlackWhite:
        return bitmap.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    case Kind::Table:
        // The nearest colour of the page's own table: the page's own pixels come back as they
        // were, and a drawn colour takes the table colour closest to it.
        return bitmap.convertToFormat(m_format, m_table, Qt::ThresholdDither);
    }
    return bitmap;
}

QRgb PageColours::written(QRgb colour) const {
    if (const auto known = m_written.constFind(colour); known != m_written.cend()) {
        return *known;
    }
    // One pixel through the very conversion of the save, so that the two cannot differ.
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.setPixel(0, 0, colour);
    const QRgb result =
        inPageFormat(pixel).convertToFormat(QImage::Format_RGB32).pixel(0, 0) | 0xFF000000u;
    m_written.insert(colour, result);
    return result;
}

QColor PageColours::nearest(const QColor& colour) const {
    return holdsEveryColour() ? colour : QColor(written(colour.rgb()));
}

void PageColours::holdTo(QImage& bitmap, const QRect& area, const QImage* before) const {
    if (holdsEveryColour()) {
        return;
    }
    if (before && (before->size() != bitmap.size() || before->format() != bitmap.format())) {
        before = nullptr;
    }
    const QRect inside = area.intersected(bitmap.rect());
    if (inside.isEmpty()) {
        return;
    }
    // A page has few colours and a stroke fewer still: most pixels repeat the one before.
    QRgb lastIn = bitmap.pixel(inside.topLeft());
    QRgb lastOut = written(lastIn);
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
        const auto* was =
            before ? reinterpret_cast<const QRgb*>(before->constScanLine(y)) : nullptr;
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (was && line[x] == was[x]) {
                continue;
            }
            if (line[x] != lastIn) {
                lastIn = line[x];
                lastOut = written(lastIn);
            }
            line[x] = lastOut;
        }
    }
}
