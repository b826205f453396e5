// SPDX-License-Identifier: GPL-3.0-or-later
#include "labelpages.h"

#include "imaging/jpegencoder.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <QFile>
#include <QPainter>
#include <QTransform>
#include <random>

namespace labelpages {

namespace {

ZXing::BarcodeFormat writerFormat(const Label& label) {
    switch (label.symbology) {
    case barcode::Symbology::Code39:
        return ZXing::BarcodeFormat::Code39;
    case barcode::Symbology::Code128:
        return ZXing::BarcodeFormat::Code128;
    case barcode::Symbology::Itf:
        return ZXing::BarcodeFormat::ITF;
    case barcode::Symbology::Ean:
        return label.text.size() <= 8 ? ZXing::BarcodeFormat::EAN8 : ZXing::BarcodeFormat::EAN13;
    case barcode::Symbology::QrCode:
        return ZXing::BarcodeFormat::QRCode;
    case barcode::Symbology::DataMatrix:
        return ZXing::BarcodeFormat::DataMatrix;
    }
    return ZXing::BarcodeFormat::Code128;
}

bool isLinear(barcode::Symbology symbology) {
    return symbology != barcode::Symbology::QrCode && symbology != barcode::Symbology::DataMatrix;
}

/// The label: a white sticker with a little text and the barcode, at \p dpi, transparent around.
QImage labelImage(const Label& label, int dpi) {
    const double pxPerMm = dpi / 25.4;
    const bool linear = isLinear(label.symbology);
    // Narrow bar of a linear code and cell of a matrix code, as hospital label printers make.
    const double moduleMm = linear ? 0.33 : 0.5;
    const ZXing::BitMatrix matrix = ZXing::MultiFormatWriter(writerFormat(label))
                                        .setMargin(0)
                                        .encode(label.text.toStdString(), 1, 1);
    const double module = moduleMm * pxPerMm;
    const double codeWidth = matrix.width() * module;
    const double codeHeight = linear ? 10.0 * pxPerMm : matrix.height() * module;
    const double quiet = 4.0 * pxPerMm;
    const QSizeF size(codeWidth + 2 * quiet, codeHeight + 2 * quiet + 6.0 * pxPerMm);
    QImage image(qCeil(size.width()), qCeil(size.height()), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(250, 248, 240));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 35));
    const int rows = linear ? 1 : matrix.height();
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < matrix.width(); ++x) {
            if (matrix.get(x, y)) {
                painter.drawRect(QRectF(quiet + x * module, quiet + (linear ? 0.0 : y * module),
                                        module, linear ? codeHeight : module));
            }
        }
    }
    QFont font;
    font.setPixelSize(qRound(3.0 * pxPerMm));
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 35));
    painter.drawText(QPointF(quiet, quiet + codeHeight + 5.0 * pxPerMm),
                     QStringLiteral("ID ") + label.text);
    painter.end();
    return image;
}

} // namespace

QImage page(const QList<Label>& labels, int dpi, double degrees, int noise,
            const QImage& background) {
    const QSize size(qRound(210.0 / 25.4 * dpi), qRound(297.0 / 25.4 * dpi));
    QImage image;
    if (background.isNull()) {
        image = QImage(size, QImage::Format_RGB888);
        image.fill(QColor(243, 239, 229));
    } else {
        image = background.scaled(size).convertToFormat(QImage::Format_RGB888);
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const auto& label : labels) {
        const QImage turned = labelImage(label, dpi)
                                  .transformed(QTransform().rotate(degrees + label.turnDegrees),
                                               Qt::SmoothTransformation);
        painter.drawImage(
            QPointF(label.topLeftMm.x() / 25.4 * dpi, label.topLeftMm.y() / 25.4 * dpi), turned);
    }
    painter.end();
    if (noise > 0) {
        std::mt19937 random(static_cast<unsigned>(dpi * 1000 + qRound(degrees * 10)));
        std::uniform_int_distribution<int> spread(-noise, noise);
        for (int y = 0; y < image.height(); ++y) {
            uchar* row = image.scanLine(y);
            for (int x = 0; x < image.width() * 3; ++x) {
                row[x] = static_cast<uchar>(std::clamp(row[x] + spread(random), 0, 255));
            }
        }
    }
    image.setDotsPerMeterX(qRound(dpi / 0.0254));
    image.setDotsPerMeterY(qRound(dpi / 0.0254));
    return image;
}

bool writeJpeg(const QImage& image, const QString& path) {
    const QByteArray bytes = imaging::encodeJpegBytes(image, 80);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace labelpages
