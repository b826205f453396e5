// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Scan-like A4 pages with patient labels that carry a barcode, made with the barcode library's
/// writers: the label is drawn at the page's resolution, turned by a small angle, and the page
/// gets sensor noise before it is written as a JPEG, as a desktop scanner would.

#include "barcode/patientbarcode.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>

namespace labelpages {

struct Label {
    barcode::Symbology symbology;
    QString text;
    QPointF topLeftMm{20.0, 20.0}; ///< where the label sits on the page
    double turnDegrees = 0.0;      ///< turned this much beyond the page's angle (180: upside down)
};

/// An A4 page at \p dpi with \p labels, each turned by \p degrees, and noise of \p noise grey
/// levels (seeded, so a page is the same on every run). \p background, when not null, is scaled
/// to the page first (a corpus scan under the label).
QImage page(const QList<Label>& labels, int dpi, double degrees, int noise,
            const QImage& background = {});

/// Writes \p image as a JPEG of quality 80; false on failure.
bool writeJpeg(const QImage& image, const QString& path);

} // namespace labelpages
