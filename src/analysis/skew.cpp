// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/skew.h"

#include "analysis/greypage_p.h"

#include <QPainter>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>

// Leptonica's types stay in this file.
#include <leptonica/allheaders.h>

namespace skew {
namespace {

/// The resolution lines are looked for at: a line of 10-point text is still several pixels
/// high, and the measurement takes a quarter of what it takes at 300 dpi.
constexpr int measuringLongSide = 1754; // an A4 page's long side at 150 dpi

/// Below this Leptonica's ratio of the best line score to the weakest says nothing.
constexpr double leastConfidence = 2.0;

/// Leptonica's sweep looks this far either side of level, so that a page turned just beyond
/// LargestTurn is recognised as such and not as having no lines.
constexpr double sweepRange = LargestTurn + 2.0;

struct PixDeleter {
    void operator()(PIX* pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<PIX, PixDeleter>;

/// Leptonica reports what it does on standard error unless told not to; the batch save's
/// standard error is for the operator.
void quietLeptonica() {
    static std::once_flag once;
    std::call_once(once, [] { setMsgSeverity(L_SEVERITY_NONE); });
}

double radians(double degrees) {
    return degrees * 3.14159265358979323846 / 180.0;
}

/// The page as black text on white, one bit a pixel (Leptonica's 1 is black).
PixPtr binaryPage(const QImage& page) {
    const int longSide = std::max(page.width(), page.height());
    const int factor = std::max(1, (longSide + measuringLongSide / 2) / measuringLongSide);
    const analysis::GreyPage grey(page, factor);
    if (grey.width() == 0) {
        return nullptr;
    }
    std::array<std::uint64_t, 256> histogram{};
    for (int y = 0; y < grey.height(); ++y) {
        const std::uint8_t* line = grey.line(y);
        for (int x = 0; x < grey.width(); ++x) {
            ++histogram[line[x]];
        }
    }
    // The paper is the median; ink is what is clearly darker than it.
    const std::uint64_t half = std::uint64_t(grey.width()) * std::uint64_t(grey.height()) / 2;
    std::uint64_t seen = 0;
    int paper = 255;
    for (int level = 0; level < 256; ++level) {
        seen += histogram[static_cast<size_t>(level)];
        if (seen > half) {
            paper = level;
            break;
        }
    }
    const int inkBelow = paper - std::max(40, paper / 4);
    PixPtr pix(pixCreate(grey.width(), grey.height(), 1));
    if (!pix) {
        return nullptr;
    }
    l_uint32* data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    for (int y = 0; y < grey.height(); ++y) {
        const std::uint8_t* line = grey.line(y);
        l_uint32* words = data + static_cast<ptrdiff_t>(y) * wpl;
        for (int x = 0; x < grey.width(); ++x) {
            if (line[x] < inkBelow) {
                words[x >> 5] |= 0x80000000U >> (x & 31);
            }
        }
    }
    return pix;
}

bool isGrey(const QImage& page) {
    if (page.format() == QImage::Format_Grayscale8) {
        return true;
    }
    if (page.format() != QImage::Format_Indexed8) {
        return false;
    }
    const QList<QRgb> colours = page.colorTable();
    return std::all_of(colours.begin(), colours.end(), [](QRgb colour) { return qIsGray(colour); });
}

QImage turnedOneBit(const QImage& page, double degrees) {
    const QImage mono = page.convertToFormat(QImage::Format_Mono);
    // Which palette entry is the dark one: Qt keeps the file's, Leptonica's 1 is black.
    const QList<QRgb> colours = mono.colorTable();
    const bool oneIsDark = colours.size() < 2 || qGray(colours.at(1)) < qGray(colours.at(0));
    PixPtr pix(pixCreate(mono.width(), mono.height(), 1));
    if (!pix) {
        return {};
    }
    l_uint32* data = pixGetData(pix.get());
    const int wpl = pixGetWpl(pix.get());
    const int bytes = (mono.width() + 7) / 8;
    for (int y = 0; y < mono.height(); ++y) {
        const uchar* in = mono.constScanLine(y);
        auto* out = reinterpret_cast<uchar*>(data + static_cast<ptrdiff_t>(y) * wpl);
        for (int b = 0; b < bytes; ++b) {
            // Leptonica packs the leftmost pixel into a word's highest bit, whatever the byte
            // order: byte b of a row sits at b ^ 3 on this little-endian machine.
            out[b ^ 3] = oneIsDark ? in[b] : static_cast<uchar>(~in[b]);
        }
    }
    pixSetPadBits(pix.get(), 0);
    // Sampling moves whole pixels, so text stays as crisp as the scanner made it.
    PixPtr turned(pixRotate(pix.get(), static_cast<l_float32>(radians(-degrees)), L_ROTATE_SAMPLING,
                            L_BRING_IN_WHITE, 0, 0));
    if (!turned) {
        return {};
    }
    QImage result(mono.width(), mono.height(), QImage::Format_Mono);
    result.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const l_uint32* turnedData = pixGetData(turned.get());
    const int turnedWpl = pixGetWpl(turned.get());
    for (int y = 0; y < result.height(); ++y) {
        const auto* in =
            reinterpret_cast<const uchar*>(turnedData + static_cast<ptrdiff_t>(y) * turnedWpl);
        uchar* out = result.scanLine(y);
        for (int b = 0; b < bytes; ++b) {
            out[b] = in[b ^ 3];
        }
    }
    result.setDotsPerMeterX(page.dotsPerMeterX());
    result.setDotsPerMeterY(page.dotsPerMeterY());
    return result;
}

/// Grey and colour pages are turned by Qt's smooth (bilinear) transform: on a 300-dpi A4 colour
/// page it takes a fourteenth of the time of Leptonica's area map (pagecheck-bench) for a
/// result that looks the same.
QImage turnedSmooth(const QImage& page, double degrees, bool grey) {
    const QImage source = page.convertToFormat(QImage::Format_RGB32);
    QImage result(source.size(), QImage::Format_RGB32);
    result.fill(Qt::white);
    {
        QPainter painter(&result);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(source.width() / 2.0, source.height() / 2.0);
        painter.rotate(-degrees);
        painter.translate(-source.width() / 2.0, -source.height() / 2.0);
        painter.drawImage(0, 0, source);
    }
    if (grey) {
        result = result.convertToFormat(QImage::Format_Grayscale8);
    }
    result.setDotsPerMeterX(page.dotsPerMeterX());
    result.setDotsPerMeterY(page.dotsPerMeterY());
    return result;
}

} // namespace

Measurement measure(const QImage& page) {
    quietLeptonica();
    Measurement measurement;
    const PixPtr binary = page.isNull() ? nullptr : binaryPage(page);
    if (!binary) {
        return measurement;
    }
    l_float32 angle = 0;
    l_float32 confidence = 0;
    l_float32 endScore = 0;
    if (pixFindSkewSweepAndSearchScore(binary.get(), &angle, &confidence, &endScore, 2, 1, 0.0f,
                                       static_cast<l_float32>(sweepRange), 0.5f, 0.01f) != 0) {
        return measurement;
    }
    measurement.confidence = confidence;
    measurement.found = confidence >= leastConfidence;
    // Leptonica gives the angle the page must be turned clockwise to be level.
    measurement.degrees = measurement.found ? -double(angle) : 0.0;
    return measurement;
}

QImage turnedBack(const QImage& page, double degrees) {
    quietLeptonica();
    if (page.isNull()) {
        return {};
    }
    if (page.depth() == 1) {
        return turnedOneBit(page, degrees);
    }
    return turnedSmooth(page, degrees, isGrey(page));
}

Straightening straighten(const QImage& page) {
    Straightening result;
    const Measurement measurement = measure(page);
    if (!measurement.found) {
        return result;
    }
    result.degrees = measurement.degrees;
    const double size = std::abs(measurement.degrees);
    if (size < SmallestTurn) {
        result.outcome = Outcome::AlreadyLevel;
    } else if (size > LargestTurn) {
        result.outcome = Outcome::TooSkewed;
    } else {
        result.image = turnedBack(page, measurement.degrees);
        result.outcome = result.image.isNull() ? Outcome::NoTextLines : Outcome::Straightened;
    }
    return result;
}

QString describe(Outcome outcome, double degrees) {
    const QString angle = QString::number(degrees, 'f', 2);
    switch (outcome) {
    case Outcome::Straightened:
        return QStringLiteral("%1° の傾きを補正しました。").arg(angle);
    case Outcome::AlreadyLevel:
        return QStringLiteral("傾きは %1° で、%2° 未満のため補正しませんでした。")
            .arg(angle)
            .arg(SmallestTurn);
    case Outcome::TooSkewed:
        return QStringLiteral("傾きが %1° で、%2° を超えるため補正しませんでした。")
            .arg(angle)
            .arg(LargestTurn);
    case Outcome::NoTextLines:
        break;
    }
    return QStringLiteral("文字の行が見つからないため、傾きを測れませんでした。");
}

} // namespace skew
