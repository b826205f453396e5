// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pageimages.h"

#include "app/thumbnailrule.h"
#include "imaging/imageopenerror.h"
#include "imaging/imagereader.h"
#include "imaging/resample.h"
#include "settings/blankpagesettings.h"

#include <QPainter>

namespace pageimages {

std::optional<blankpage::Thresholds> blankCheck(const BlankPageSettings& settings) {
    if (!settings.Enabled) {
        return std::nullopt;
    }
    blankpage::Thresholds thresholds;
    thresholds.marginMm = settings.MarginMm;
    thresholds.shadowMm = settings.ShadowMm;
    thresholds.inkContrast = settings.InkContrast;
    thresholds.inkPartsPerMillion = settings.InkPartsPerMillion;
    return thresholds;
}

namespace {

QImage whiteSquare(int side) {
    QImage square(side, side, QImage::Format_RGB32);
    square.fill(Qt::white);
    return square;
}

} // namespace

Thumbnail makeThumbnail(const QString& path, int side, bool stretch,
                        const std::optional<blankpage::Thresholds>& blankCheck) {
    Thumbnail thumbnail;
    try {
        const auto header = imaging::readImageHeader(path);
        if (header.failed) {
            return thumbnail;
        }
        const QRect target = thumbnailrule::placement(header.fullSize, side, stretch);
        const auto decoded = imaging::readImageForSize(path, target.size());
        if (decoded.failed || decoded.image.isNull()) {
            return thumbnail;
        }
        if (blankCheck) {
            // Most pages show plenty of ink even in the thumbnail's decode; only a page that
            // might be blank is decoded again, large enough for a faint pencil note.
            thumbnail.blank = blankpage::examine(decoded.image, decoded.fullSize,
                                                 decoded.params.dpiX, *blankCheck);
            if (!thumbnail.blank->certain) {
                thumbnail.blank = blankVerdict(path, *blankCheck);
            }
        }
        thumbnail.image = whiteSquare(side);
        QPainter painter(&thumbnail.image);
        painter.drawImage(target.topLeft(), imaging::resample(decoded.image, target.size()));
        thumbnail.failed = false;
    } catch (const ImageOpenError&) {
        // A file that cannot be opened is a page without a thumbnail, like one that does not
        // decode: the operator can still move, delete or save around it.
    }
    return thumbnail;
}

std::optional<blankpage::Verdict> blankVerdict(const QString& path,
                                               const blankpage::Thresholds& thresholds) {
    try {
        const auto header = imaging::readImageHeader(path);
        if (header.failed) {
            return std::nullopt;
        }
        const auto decoded = imaging::readImageForSize(
            path, blankpage::decodeSizeFor(header.fullSize, header.params.dpiX));
        if (decoded.failed || decoded.image.isNull()) {
            return std::nullopt;
        }
        return blankpage::examine(decoded.image, decoded.fullSize, decoded.params.dpiX, thresholds);
    } catch (const ImageOpenError&) {
        return std::nullopt; // a page that cannot be read is never taken for blank
    }
}

QImage brokenPageIcon(int side) {
    QImage icon = whiteSquare(side);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal margin = side * 0.2;
    const QRectF sheet(margin, margin * 0.6, side - 2 * margin, side - 1.2 * margin);
    painter.setPen(QPen(QColor(0x90, 0x90, 0x90), std::max(1.0, side / 48.0)));
    painter.drawRect(sheet);
    painter.setPen(
        QPen(QColor(0xD0, 0x20, 0x20), std::max(2.0, side / 16.0), Qt::SolidLine, Qt::RoundCap));
    const QRectF cross = sheet.adjusted(sheet.width() * 0.25, sheet.height() * 0.25,
                                        -sheet.width() * 0.25, -sheet.height() * 0.25);
    painter.drawLine(cross.topLeft(), cross.bottomRight());
    painter.drawLine(cross.topRight(), cross.bottomLeft());
    return icon;
}

QImage pendingPageIcon(int side) {
    QImage icon = whiteSquare(side);
    QPainter painter(&icon);
    painter.setPen(QPen(QColor(0xC8, 0xC8, 0xC8), 1, Qt::DashLine));
    painter.drawRect(QRect(2, 2, side - 5, side - 5));
    return icon;
}

} // namespace pageimages
