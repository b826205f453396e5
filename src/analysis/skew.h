// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The skew of a scanned page (how far the feeder turned it) found from its lines of text, and
/// the page turned back level.

#include <QImage>
#include <QString>

namespace skew {

/// Pages turned by less than this are left as they are: turning them would only blur them.
inline constexpr double SmallestTurn = 0.1;
/// Pages turned by more than this are left as they are: no feeder turns a sheet that far, so
/// the lines found are more likely a drawing's than the text's.
inline constexpr double LargestTurn = 10.0;

struct Measurement {
    bool found = false;    ///< false: no lines of text to measure by (a blank page, a photograph)
    double degrees = 0;    ///< how far the lines are turned clockwise, as the page is seen
    double confidence = 0; ///< how clearly the lines stood out (2 or more: found)
};

/// The skew of the text lines of \p page, measured up to a little beyond LargestTurn either way.
/// Any pixel format. Safe to call from several threads at once.
Measurement measure(const QImage& page);

/// \p page turned anticlockwise by \p degrees about its centre, at its own size, with white
/// brought in at the corners. A one-bit page stays one-bit (Leptonica moves whole pixels, so
/// the text stays as crisp as scanned); a grey page comes back as Format_Grayscale8, any other
/// as Format_RGB32, interpolated.
QImage turnedBack(const QImage& page, double degrees);

enum class Outcome : quint8 {
    Straightened, ///< the page was turned back
    AlreadyLevel, ///< turned by less than SmallestTurn: left alone
    TooSkewed,    ///< turned by more than LargestTurn: left alone
    NoTextLines,  ///< nothing to measure by: left alone
};

struct Straightening {
    Outcome outcome = Outcome::NoTextLines;
    double degrees = 0; ///< the skew found (for NoTextLines: 0)
    QImage image;       ///< the page turned back; null unless Straightened
};

/// Measures \p page and turns it back when its skew lies between the two limits.
Straightening straighten(const QImage& page);

/// What the operator is told: "1.25° の傾きを補正しました。" and the like.
QString describe(Outcome outcome, double degrees);

} // namespace skew
