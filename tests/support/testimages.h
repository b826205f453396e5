// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Page images made by the tests themselves: a scan-like colour page with a pattern that shows
/// where every part of it ends up, written through the program's own image component.

#include "imaging/timageio.h"

#include <QImage>
#include <QPainter>
#include <QString>

namespace testimages {

/// A colour page: four coloured quadrants, a grid, and a black frame.
inline QImage page(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter painter(&image);
    const int halfW = width / 2;
    const int halfH = height / 2;
    painter.fillRect(0, 0, halfW, halfH, QColor(220, 40, 40));
    painter.fillRect(halfW, 0, width - halfW, halfH, QColor(40, 160, 60));
    painter.fillRect(0, halfH, halfW, height - halfH, QColor(40, 80, 220));
    painter.fillRect(halfW, halfH, width - halfW, height - halfH, QColor(240, 200, 40));
    painter.setPen(QPen(Qt::black, 3));
    for (int x = 0; x < width; x += 100) {
        painter.drawLine(x, 0, x, height);
    }
    for (int y = 0; y < height; y += 100) {
        painter.drawLine(0, y, width, y);
    }
    painter.drawRect(1, 1, width - 3, height - 3);
    painter.end();
    return image;
}

/// Writes \p image to \p path through TImageIO (the format follows the extension).
inline bool save(QImage image, const QString& path, int dpi = 300) {
    TImageIO io;
    io.BindBitmap(&image);
    io.Params().dpiX = dpi;
    io.Params().dpiY = dpi;
    io.SaveImageFile(path);
    return !io.IoFailed();
}

} // namespace testimages
