// SPDX-License-Identifier: GPL-3.0-or-later
#include "barcode/patientbarcode.h"

#include "imaging/imagereader.h"

// Makes text() give UTF-8; without it the library warns that its return type will change.
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <QRegularExpression>
#include <QSet>
#include <vector>

namespace barcode {

namespace {

struct SymbologyEntry {
    Symbology symbology;
    const char* name;
    ZXing::BarcodeFormats formats;
};

const SymbologyEntry symbologyTable[] = {
    {Symbology::Code39, "Code39", ZXing::BarcodeFormat::Code39},
    {Symbology::Code128, "Code128", ZXing::BarcodeFormat::Code128},
    {Symbology::Itf, "ITF", ZXing::BarcodeFormat::ITF},
    {Symbology::Ean, "EAN", ZXing::BarcodeFormat::EAN13 | ZXing::BarcodeFormat::EAN8},
    {Symbology::QrCode, "QRCode", ZXing::BarcodeFormat::QRCode},
    {Symbology::DataMatrix, "DataMatrix", ZXing::BarcodeFormat::DataMatrix},
};

const SymbologyEntry& entryOf(Symbology symbology) {
    for (const auto& entry : symbologyTable) {
        if (entry.symbology == symbology) {
            return entry;
        }
    }
    return symbologyTable[0];
}

ZXing::ImageView viewOf(const QImage& grey) {
    return ZXing::ImageView(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
                            static_cast<int>(grey.bytesPerLine()));
}

/// Search hints of every pass. Every row is scanned (a label sits anywhere on the page, the
/// library's quick scan looks only at the middle); rows are read both ways, so a label upside
/// down is read too. Matrix codes are found at any angle; linear codes stuck on sideways are
/// looked for in a turned copy of the page (readLinear), since the library's own turn reads the
/// page column by column, several times slower.
ZXing::DecodeHints hintsFor(ZXing::BarcodeFormats formats) {
    ZXing::DecodeHints hints;
    hints.setFormats(formats);
    hints.setTryHarder(true);
    hints.setTryRotate(false);
    // The library build asserts when it merges two results that each span several rows (the
    // same linear code in two places, or one code found again in a reduced copy): no reduced
    // copies, and linear codes are read one at a time below.
    hints.setTryDownscale(false);
    return hints;
}

/// Linear codes one at a time: each one found is painted over before the next search, so the
/// library never holds two results of several rows at once.
void readLinearRows(QImage grey, ZXing::BarcodeFormats formats, QStringList& texts) {
    const ZXing::DecodeHints hints = hintsFor(formats);
    constexpr int maxSymbols = 6;
    QStringList found;
    for (int n = 0; n < maxSymbols; ++n) {
        const ZXing::Result result = ZXing::ReadBarcode(viewOf(grey), hints);
        if (!result.isValid()) {
            break;
        }
        const QString text = QString::fromStdString(result.text());
        if (found.contains(text)) {
            break; // painting over did not hide it: searching again finds nothing new
        }
        found << text;
        int left = grey.width();
        int top = grey.height();
        int right = 0;
        int bottom = 0;
        for (const auto& point : result.position()) {
            left = std::min(left, point.x);
            right = std::max(right, point.x);
            top = std::min(top, point.y);
            bottom = std::max(bottom, point.y);
        }
        // The rows the decoder used lie inside the bars; the bars reach further, as much as a
        // third of the code's length above and below on labels.
        const int margin = std::max(8, grey.width() / 100);
        const int across = std::max(3 * margin, (right - left) / 3);
        const QRect hidden = QRect(QPoint(left, top), QPoint(right, bottom))
                                 .adjusted(-margin, -across, margin, across)
                                 .intersected(grey.rect());
        for (int y = hidden.top(); y <= hidden.bottom(); ++y) {
            std::fill_n(grey.scanLine(y) + hidden.left(), hidden.width(), uchar(255));
        }
    }
    for (const QString& text : found) {
        if (!texts.contains(text)) {
            texts << text;
        }
    }
}

/// \p grey turned a quarter clockwise and halved along its rows, two pixels side by side made
/// one: the bars of a linear code stuck on sideways run along the rows, so they keep their edges,
/// and the turned copy costs half as much.
QImage turnedQuarter(const QImage& grey) {
    const int width = grey.width() / 2;
    const int height = grey.height();
    QImage turned(height, width, QImage::Format_Grayscale8);
    const uchar* source = grey.constBits();
    const qsizetype sourceStride = grey.bytesPerLine();
    uchar* target = turned.bits();
    const qsizetype targetStride = turned.bytesPerLine();
    constexpr int tile = 32;
    for (int y0 = 0; y0 < height; y0 += tile) {
        const int y1 = std::min(y0 + tile, height);
        for (int x0 = 0; x0 < width; x0 += tile) {
            const int x1 = std::min(x0 + tile, width);
            for (int y = y0; y < y1; ++y) {
                const uchar* in = source + y * sourceStride;
                uchar* out = target + (height - 1 - y);
                for (int x = x0; x < x1; ++x) {
                    out[x * targetStride] =
                        static_cast<uchar>((in[2 * x] + in[2 * x + 1] + 1) >> 1);
                }
            }
        }
    }
    return turned;
}

/// Linear codes across the rows of the page and across its columns: a label stuck on sideways
/// is as much the patient's label as one stuck on straight.
void readLinear(const QImage& grey, ZXing::BarcodeFormats formats, QStringList& texts) {
    readLinearRows(grey, formats, texts);
    readLinearRows(turnedQuarter(grey), formats, texts);
}

void addText(QStringList& texts, const ZXing::Result& result) {
    const QString text = QString::fromStdString(result.text());
    if (result.isValid() && !texts.contains(text)) {
        texts << text;
    }
}

/// Data Matrix in overlapping strips of the page's whole width: the library looks for one only
/// along the middle row of what it is given, so the middle rows of the strips lie closer together
/// than the height of a small code (ten cells of 0.5 mm are 30 pixels at 150 dpi).
void readDataMatrix(const QImage& grey, QStringList& texts) {
    const ZXing::DecodeHints hints = hintsFor(ZXing::BarcodeFormat::DataMatrix);
    constexpr int stripHeight = 96;
    constexpr int step = 20;
    if (grey.height() <= stripHeight) {
        for (const ZXing::Result& result : ZXing::ReadBarcodes(viewOf(grey), hints)) {
            addText(texts, result);
        }
        return;
    }
    for (int top = 0;; top += step) {
        const int y = std::min(top, grey.height() - stripHeight);
        const ZXing::ImageView strip(grey.constBits() + y * grey.bytesPerLine(), grey.width(),
                                     stripHeight, ZXing::ImageFormat::Lum,
                                     static_cast<int>(grey.bytesPerLine()));
        for (const ZXing::Result& result : ZXing::ReadBarcodes(strip, hints)) {
            addText(texts, result);
        }
        if (y + stripHeight >= grey.height()) {
            return;
        }
    }
}

/// The page in grey levels. Colour scans are weighted as the library would weigh them, in one
/// pass that is several times faster than the general conversion.
QImage greyOf(const QImage& page) {
    if (page.format() == QImage::Format_Grayscale8) {
        return page;
    }
    if (page.format() != QImage::Format_RGB888) {
        return page.convertToFormat(QImage::Format_Grayscale8);
    }
    QImage grey(page.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < page.height(); ++y) {
        const uchar* in = page.constScanLine(y);
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < page.width(); ++x, in += 3) {
            out[x] = static_cast<uchar>((306 * in[0] + 601 * in[1] + 117 * in[2] + 512) >> 10);
        }
    }
    return grey;
}

/// \p grey halved in both directions, each pixel the mean of its square of four.
QImage halved(const QImage& grey) {
    const int width = grey.width() / 2;
    const int height = grey.height() / 2;
    QImage half(width, height, QImage::Format_Grayscale8);
    const uchar* source = grey.constBits();
    const qsizetype stride = grey.bytesPerLine();
    uchar* target = half.bits();
    for (int y = 0; y < height; ++y) {
        const uchar* upper = source + qsizetype(2 * y) * stride;
        const uchar* lower = upper + stride;
        uchar* out = target + y * half.bytesPerLine();
        for (int x = 0; x < width; ++x) {
            out[x] = static_cast<uchar>(
                (upper[2 * x] + upper[2 * x + 1] + lower[2 * x] + lower[2 * x + 1] + 2) >> 2);
        }
    }
    return half;
}

ZXing::BarcodeFormats linearFormats(const QList<Symbology>& symbologies) {
    ZXing::BarcodeFormats linear;
    for (Symbology symbology : symbologies) {
        if (symbology != Symbology::QrCode && symbology != Symbology::DataMatrix) {
            linear |= entryOf(symbology).formats;
        }
    }
    return linear;
}

/// The matrix codes of \p grey.
void readMatrix(const QImage& grey, const QList<Symbology>& symbologies, QStringList& texts) {
    if (symbologies.contains(Symbology::QrCode)) {
        for (const ZXing::Result& result :
             ZXing::ReadBarcodes(viewOf(grey), hintsFor(ZXing::BarcodeFormat::QRCode))) {
            addText(texts, result);
        }
    }
    if (symbologies.contains(Symbology::DataMatrix)) {
        readDataMatrix(grey, texts);
    }
}

} // namespace

QList<Symbology> allSymbologies() {
    QList<Symbology> all;
    for (const auto& entry : symbologyTable) {
        all << entry.symbology;
    }
    return all;
}

QString symbologyName(Symbology symbology) {
    return QString::fromLatin1(entryOf(symbology).name);
}

std::optional<Symbology> symbologyFromName(const QString& name) {
    for (const auto& entry : symbologyTable) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
            return entry.symbology;
        }
    }
    return std::nullopt;
}

QString patternProblem(const QString& pattern) {
    const QRegularExpression expression(pattern);
    if (!expression.isValid()) {
        return expression.errorString();
    }
    if (expression.captureCount() != 1) {
        return QStringLiteral("the pattern needs exactly one capture group, it has %1")
            .arg(expression.captureCount());
    }
    return {};
}

std::optional<int> patientNumberFromText(const QString& text) {
    if (text.isEmpty()) {
        return std::nullopt;
    }
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
    }
    qsizetype first = 0;
    while (first < text.size() && text.at(first) == QLatin1Char('0')) {
        ++first;
    }
    const QString digits = text.mid(first);
    if (digits.isEmpty() || digits.size() > 8) {
        return std::nullopt;
    }
    return digits.toInt();
}

PatientBarcodeReader::PatientBarcodeReader(QList<Symbology> symbologies, const QString& pattern)
    : m_symbologies(std::move(symbologies)), m_pattern(pattern),
      m_patternValid(patternProblem(pattern).isEmpty()) {}

PageReading PatientBarcodeReader::verdict(const QStringList& texts) const {
    PageReading reading;
    reading.texts = texts;
    if (texts.isEmpty()) {
        reading.status = PageReading::Status::NoBarcode;
        return reading;
    }
    QSet<int> numbers;
    if (m_patternValid) {
        const QRegularExpression expression(m_pattern);
        for (const auto& text : texts) {
            const QRegularExpressionMatch match = expression.match(text);
            if (!match.hasMatch()) {
                continue;
            }
            if (const auto number = patientNumberFromText(match.captured(1))) {
                numbers.insert(*number);
            }
        }
    }
    if (numbers.isEmpty()) {
        reading.status = PageReading::Status::NoNumber;
    } else if (numbers.size() > 1) {
        reading.status = PageReading::Status::Ambiguous;
    } else {
        reading.status = PageReading::Status::Found;
        reading.patient = *numbers.begin();
    }
    return reading;
}

PageReading PatientBarcodeReader::read(const QImage& page) const {
    if (m_symbologies.isEmpty() || page.isNull()) {
        return verdict({});
    }
    const QImage grey = greyOf(page);
    QStringList texts;
    readMatrix(grey, m_symbologies, texts);
    if (const ZXing::BarcodeFormats linear = linearFormats(m_symbologies); !linear.empty()) {
        readLinear(grey, linear, texts);
    }
    return verdict(texts);
}

PageReading PatientBarcodeReader::readFile(const QString& path) const {
    PageReading unreadable;
    unreadable.status = PageReading::Status::Unreadable;
    imaging::ImageReadResult full;
    try {
        full = imaging::readGreyImage(path);
    } catch (const std::exception& error) {
        unreadable.error = QString::fromLocal8Bit(error.what());
        return unreadable;
    }
    if (full.failed || full.image.isNull()) {
        unreadable.error = full.error;
        return unreadable;
    }
    if (m_symbologies.isEmpty()) {
        return verdict({});
    }
    // Every code of the page is read before a number is taken, so that two labels of different
    // patients are never one patient. Matrix codes are searched on the page reduced to about
    // 150 dpi for A4, where their cells are still large and the search is four times quicker;
    // the narrow bars of linear codes need the full resolution.
    QImage reduced = full.image;
    while (reduced.width() / 2 >= ReducedWidth) {
        reduced = halved(reduced);
    }
    QStringList texts;
    readMatrix(reduced, m_symbologies, texts);
    if (const ZXing::BarcodeFormats linear = linearFormats(m_symbologies); !linear.empty()) {
        readLinear(full.image, linear, texts);
    }
    return verdict(texts);
}

} // namespace barcode
