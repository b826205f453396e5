// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small helpers for the imaging tests: synthetic pages, file bytes, pixel comparison and a
// look at the tags libtiff finds in a file.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <QList>

#include <cstdint>

namespace testutil {

/// A colour page with gradients and edges, so that lossy codecs and crops have work to do.
QImage colourPage(int width, int height);
/// Colour noise that compresses badly, so that a file's data spreads over many blocks.
QImage noisyPage(int width, int height);
/// Grey levels as Format_Indexed8 with a grey colour table.
QImage grayPage(int width, int height);
/// A black-and-white page as a scanner gives it: Format_Mono, index 0 white, index 1 black.
QImage monoPage(int width, int height);

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);

/// Largest difference of any channel of any pixel, both images taken as RGB.
int maxChannelDifference(const QImage& a, const QImage& b);
/// Mean absolute channel difference, both images taken as RGB.
double meanChannelDifference(const QImage& a, const QImage& b);

struct TiffTags {
    int compression = -1;
    std::uint32_t t4Options = 0;
    int photometric = -1;
    int bitsPerSample = -1;
    int pages = 0;
};
TiffTags tiffTags(const QString& path);

/// Writes 8-bit RGB pages with libtiff directly (at 150 dpi), for compressions and page counts
/// the component does not write.
void writeTiff(const QString& path, const QList<QImage>& pages, std::uint16_t compression);

/// The first entry of the first quantisation table of a JPEG file (6 at quality 80).
int jpegFirstLuminanceQuant(const QString& path);

} // namespace testutil
