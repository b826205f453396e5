// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Whether a scanned page is blank: the back of a sheet that came through a duplex feeder with
/// nothing on it. Decided from an image decoded at a reduced size (the one a thumbnail is made
/// from), so it costs next to nothing beside the decode.

#include <QImage>
#include <QSize>

namespace blankpage {

/// The resolution the decision is made at. A pencil stroke of 0.2 mm is still most of a pixel
/// here; at half of it (an eighth of a 300-dpi scan) it fades into the paper, so an image
/// decoded for the decision must have at least this many dots per inch.
inline constexpr int WorkingDpi = 75;

/// What separates a blank sheet from a page with something on it.
struct Thresholds {
    /// Border left out on every side, in millimetres: the sheet's edges, punch holes, the
    /// feeder's marks.
    int marginMm = 8;
    /// How far beyond the margin a dark band along an edge (the scanner's shadow of the sheet's
    /// edge, or the lid around a smaller sheet) is followed and left out, in millimetres.
    int shadowMm = 20;
    /// A pixel is ink when it is at least this many grey levels (of 255) darker than the paper,
    /// at the working resolution. Show-through from the other side stays below it.
    int inkContrast = 20;
    /// A page is blank when fewer than this many pixels in a million of what remains are ink.
    int inkPartsPerMillion = 100;
    bool operator==(const Thresholds&) const = default;
};

/// What the decision saw.
struct Verdict {
    bool blank = false;
    /// False when the image was below WorkingDpi and showed too little ink to be sure of a
    /// mark: a faint stroke may have faded there. The caller decides again on a decode at
    /// decodeSizeFor(). A page with plenty of ink is sure at any resolution.
    bool certain = true;
    /// Ink pixels in a million of the area looked at.
    double inkPartsPerMillion = 0;
    /// The paper's grey level (255 white).
    int paperLevel = 0;
};

/// The size an image of \p fullSize pixels at \p dpi dots per inch (0: not recorded, a sheet
/// of A4 is assumed) must at least be decoded at for the decision.
QSize decodeSizeFor(QSize fullSize, int dpi);

/// Decides on \p image, a page decoded from a file of \p fullSize pixels at \p dpi (0: not
/// recorded). Counting stops once the page clearly has something on it. Any pixel format; a colour
/// counts as dark as its darkest channel, so a red stamp or a yellow marker counts as ink. Safe to
/// call from several threads at once.
Verdict examine(const QImage& image, QSize fullSize, int dpi, const Thresholds& thresholds);

} // namespace blankpage
