// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/timageioparams.h"

void TImageIOParams::clearFileValues() {
    dpiX = 0;
    dpiY = 0;
    tiffCompression = TiffCompression::None;
    bitsPerSample = 0;
    samplesPerPixel = 0;
}

int tiffCompressionTagWritten(TiffCompression compression) {
    switch (compression) {
    case TiffCompression::CcittRle:
        return 2;
    case TiffCompression::G3OneD:
    case TiffCompression::G3TwoD:
        return 3;
    case TiffCompression::G4:
        return 4;
    case TiffCompression::Jpeg:
        return 7;
    case TiffCompression::PackBits:
        return 32773;
    case TiffCompression::None:
    case TiffCompression::Lzw:
    case TiffCompression::OldJpeg:
    case TiffCompression::Other:
        break;
    }
    return 1;
}

QString tiffCompressionName(TiffCompression compression) {
    switch (compression) {
    case TiffCompression::None:
        return QStringLiteral("none");
    case TiffCompression::CcittRle:
        return QStringLiteral("CCITT 1-D");
    case TiffCompression::G3OneD:
        return QStringLiteral("G3 1-D");
    case TiffCompression::G3TwoD:
        return QStringLiteral("G3 2-D");
    case TiffCompression::G4:
        return QStringLiteral("G4");
    case TiffCompression::Lzw:
        return QStringLiteral("LZW");
    case TiffCompression::OldJpeg:
        return QStringLiteral("old JPEG");
    case TiffCompression::Jpeg:
        return QStringLiteral("JPEG");
    case TiffCompression::PackBits:
        return QStringLiteral("PackBits");
    case TiffCompression::Other:
        break;
    }
    return QStringLiteral("other");
}
