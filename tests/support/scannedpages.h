// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Scanned chart pages made by the tests themselves: pages with something on them (text in the
/// IPA font, a table of lines, one short handwritten line, a faint pencil note, a date stamp, a
/// signature) and blank sheets as a duplex feeder brings them (paper grain and sensor noise,
/// shadows along the edges, the other side showing through, dust), drawn at the size of an A4
/// scan and, where asked, turned as a feeder turns a sheet.

#include "imaging/timageio.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QTransform>
#include <cmath>
#include <cstdint>

namespace scannedpages {

enum class Kind : quint8 {
    // Something on them.
    Text,        ///< a page of typed Japanese text under a heading, with a table
    Handwriting, ///< one short handwritten line in ballpoint
    Pencil,      ///< a short note in faint pencil, nothing else
    DateStamp,   ///< a red round date stamp, nothing else
    Signature,   ///< a single signature, nothing else
    // Blank sheets.
    Blank,       ///< paper grain and sensor noise
    EdgeShadows, ///< dark shadows along two edges and the scanner's lid beyond the sheet
    ShowThrough, ///< the text of the other side showing through, mirrored and blurred
    Dusty,       ///< specks of dust and two punch holes at the very edge
    Everything,  ///< all of the blank sheet's troubles at once
};

inline bool isBlank(Kind kind) {
    return kind >= Kind::Blank;
}

/// Millimetres at \p dpi, in pixels.
inline double mm(double millimetres, int dpi) {
    return millimetres * dpi / 25.4;
}

/// A small random source of our own, so every page is the same on every run.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : m_state(seed * 2654435761U + 1U) {}
    std::uint32_t next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    /// Roughly normal, mean 0, standard deviation 1: two bytes of one draw summed.
    double normal() {
        const std::uint32_t bits = next();
        return ((bits & 0xff) + ((bits >> 8) & 0xff) + ((bits >> 16) & 0xff) - 382.5) / 127.7;
    }
    double uniform() { return (next() & 0xffffff) / double(0x1000000); }

private:
    std::uint32_t m_state;
};

inline QFont ipaFont(double pixelHeight) {
    QFont font(QStringLiteral("IPAGothic"));
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(std::max(1, int(std::lround(pixelHeight))));
    return font;
}

/// Lines of chart text, as typed into a form.
inline const QStringList& chartLines() {
    static const QStringList lines = {
        QStringLiteral("主訴：三日前からの咳嗽と微熱。夜間に増悪する。"),
        QStringLiteral("既往歴：高血圧（内服加療中）、虫垂炎術後（二十歳）。"),
        QStringLiteral("現病歴：感冒様症状の後、乾性咳嗽が持続している。"),
        QStringLiteral("身体所見：体温 37.4℃、血圧 132/84 mmHg、脈拍 78/分。"),
        QStringLiteral("胸部聴診にて明らかなラ音を聴取せず。咽頭軽度発赤あり。"),
        QStringLiteral("検査：胸部 X 線異常なし。血液検査 WBC 7,800 CRP 0.6。"),
        QStringLiteral("評価：急性気管支炎の疑い。経過観察とする。"),
        QStringLiteral("処方：鎮咳薬 3 日分、解熱鎮痛薬 頓用 5 回分。"),
        QStringLiteral("指導：十分な休養と水分摂取。症状悪化時は再診。"),
        QStringLiteral("次回予約：一週間後、再評価のうえ必要時に追加検査。"),
    };
    return lines;
}

/// A handwritten-looking stroke: the text's outline drawn with a pen, not filled, wobbling.
inline void handwrite(QPainter& painter, const QString& text, QPointF at, double height,
                      const QPen& pen, std::uint32_t seed) {
    QPainterPath path;
    path.addText(at, ipaFont(height), text);
    Noise noise(seed);
    QTransform wobble;
    wobble.translate(at.x(), at.y());
    wobble.shear(0.12 * noise.normal() * 0.3 - 0.15, 0.02 * noise.normal());
    wobble.translate(-at.x(), -at.y());
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(wobble.map(path));
}

/// What is on the page, drawn in page coordinates of an A4 sheet at \p dpi.
inline void drawContent(QPainter& painter, Kind kind, int dpi, std::uint32_t seed) {
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(28, 28, 34);
    switch (kind) {
    case Kind::Text: {
        painter.setPen(ink);
        painter.setFont(ipaFont(mm(6, dpi)));
        painter.drawText(QPointF(mm(25, dpi), mm(30, dpi)), QStringLiteral("外来診療録"));
        painter.setFont(ipaFont(mm(3.6, dpi)));
        double y = mm(48, dpi);
        for (int block = 0; block < 3; ++block) {
            for (const QString& line : chartLines()) {
                painter.drawText(QPointF(mm(25, dpi), y), line);
                y += mm(6.5, dpi);
            }
            y += mm(6, dpi);
        }
        // A table of ruled lines below the text.
        painter.setPen(QPen(ink, mm(0.3, dpi)));
        const QRectF table(mm(25, dpi), y, mm(160, dpi), mm(40, dpi));
        painter.drawRect(table);
        for (int row = 1; row < 4; ++row) {
            painter.drawLine(QPointF(table.left(), table.top() + row * table.height() / 4),
                             QPointF(table.right(), table.top() + row * table.height() / 4));
        }
        painter.drawLine(QPointF(table.left() + mm(40, dpi), table.top()),
                         QPointF(table.left() + mm(40, dpi), table.bottom()));
        break;
    }
    case Kind::Handwriting:
        handwrite(painter, QStringLiteral("経過良好 異常なし"), QPointF(mm(70, dpi), mm(140, dpi)),
                  mm(5, dpi), QPen(QColor(20, 30, 95), mm(0.35, dpi), Qt::SolidLine, Qt::RoundCap),
                  seed);
        break;
    case Kind::Pencil:
        handwrite(painter, QStringLiteral("済 4/3"), QPointF(mm(150, dpi), mm(250, dpi)),
                  mm(5, dpi),
                  QPen(QColor(176, 176, 172), mm(0.2, dpi), Qt::SolidLine, Qt::RoundCap), seed);
        break;
    case Kind::DateStamp: {
        const QColor red(196, 40, 52);
        const QPointF centre(mm(160, dpi), mm(60, dpi));
        painter.setPen(QPen(red, mm(0.5, dpi)));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(centre, mm(8, dpi), mm(8, dpi));
        painter.drawLine(centre + QPointF(-mm(7.5, dpi), -mm(2.5, dpi)),
                         centre + QPointF(mm(7.5, dpi), -mm(2.5, dpi)));
        painter.drawLine(centre + QPointF(-mm(7.5, dpi), mm(2.5, dpi)),
                         centre + QPointF(mm(7.5, dpi), mm(2.5, dpi)));
        painter.setFont(ipaFont(mm(3, dpi)));
        painter.drawText(
            QRectF(centre.x() - mm(7, dpi), centre.y() - mm(2.2, dpi), mm(14, dpi), mm(4.4, dpi)),
            Qt::AlignCenter, QStringLiteral("6.4.12"));
        painter.setFont(ipaFont(mm(2.2, dpi)));
        painter.drawText(
            QRectF(centre.x() - mm(6, dpi), centre.y() - mm(6.5, dpi), mm(12, dpi), mm(3.5, dpi)),
            Qt::AlignCenter, QStringLiteral("受付"));
        break;
    }
    case Kind::Signature: {
        QPainterPath path;
        const double x = mm(120, dpi);
        const double y = mm(255, dpi);
        path.moveTo(x, y);
        path.cubicTo(x + mm(6, dpi), y - mm(12, dpi), x + mm(10, dpi), y + mm(6, dpi),
                     x + mm(14, dpi), y - mm(3, dpi));
        path.cubicTo(x + mm(18, dpi), y - mm(10, dpi), x + mm(22, dpi), y + mm(5, dpi),
                     x + mm(27, dpi), y - mm(1, dpi));
        path.cubicTo(x + mm(31, dpi), y - mm(8, dpi), x + mm(34, dpi), y + mm(4, dpi),
                     x + mm(40, dpi), y - mm(2, dpi));
        painter.setPen(QPen(QColor(15, 15, 60), mm(0.45, dpi), Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        break;
    }
    default:
        break;
    }
}

/// Paper grain and sensor noise of \p sigma grey levels over the whole page.
inline void addNoise(QImage& page, double sigma, std::uint32_t seed) {
    Noise noise(seed);
    for (int y = 0; y < page.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < page.width(); ++x) {
            const QRgb p = line[x];
            const double shared = sigma * noise.normal();
            auto channel = [&](int value) {
                return std::clamp(int(std::lround(value + shared + sigma * 0.4 * noise.normal())),
                                  0, 255);
            };
            line[x] = qRgb(channel(qRed(p)), channel(qGreen(p)), channel(qBlue(p)));
        }
    }
}

/// The blank sheet's troubles, drawn over the paper.
inline void drawBlankTroubles(QImage& page, Kind kind, int dpi, std::uint32_t seed) {
    QPainter painter(&page);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool all = kind == Kind::Everything;
    if (kind == Kind::ShowThrough || all) {
        // The other side's text, mirrored, blurred by the paper and 18 levels darker at most.
        QImage other(page.size(), QImage::Format_RGB32);
        other.fill(Qt::white);
        {
            QPainter back(&other);
            drawContent(back, Kind::Text, dpi, seed + 7);
        }
        other = other.mirrored(true, false)
                    .scaled(page.width() / 6, page.height() / 6, Qt::IgnoreAspectRatio,
                            Qt::SmoothTransformation)
                    .scaled(page.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        for (int y = 0; y < page.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(page.scanLine(y));
            const auto* shadow = reinterpret_cast<const QRgb*>(other.constScanLine(y));
            for (int x = 0; x < page.width(); ++x) {
                const int darker = (255 - qGray(shadow[x])) * 18 / 160;
                const QRgb p = line[x];
                line[x] = qRgb(std::max(0, qRed(p) - darker), std::max(0, qGreen(p) - darker),
                               std::max(0, qBlue(p) - darker));
            }
        }
    }
    if (kind == Kind::EdgeShadows || all) {
        // The lid's grey beyond the sheet along the top, a soft shadow down the left edge.
        painter.fillRect(QRectF(0, 0, page.width(), mm(3, dpi)), QColor(70, 70, 72));
        QLinearGradient left(0, 0, mm(9, dpi), 0);
        left.setColorAt(0, QColor(60, 60, 60, 230));
        left.setColorAt(0.5, QColor(150, 150, 150, 110));
        left.setColorAt(1, QColor(230, 230, 230, 0));
        painter.fillRect(QRectF(0, 0, mm(9, dpi), page.height()), left);
        QLinearGradient bottom(0, page.height(), 0, page.height() - mm(5, dpi));
        bottom.setColorAt(0, QColor(90, 90, 90, 200));
        bottom.setColorAt(1, QColor(230, 230, 230, 0));
        painter.fillRect(QRectF(0, page.height() - mm(5, dpi), page.width(), mm(5, dpi)), bottom);
    }
    if (kind == Kind::Dusty || all) {
        Noise noise(seed + 3);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(60, 60, 60));
        for (int speck = 0; speck < 12; ++speck) {
            const QPointF at(mm(15 + 180 * noise.uniform(), dpi),
                             mm(15 + 267 * noise.uniform(), dpi));
            painter.drawEllipse(at, mm(0.15, dpi), mm(0.15, dpi));
        }
        painter.setBrush(QColor(40, 40, 40));
        // Punch holes over a dark backing, in the border that is left out.
        painter.drawEllipse(QPointF(mm(4.5, dpi), mm(110, dpi)), mm(3, dpi), mm(3, dpi));
        painter.drawEllipse(QPointF(mm(4.5, dpi), mm(190, dpi)), mm(3, dpi), mm(3, dpi));
    }
}

/// The page of \p kind as a scanner at \p dpi gives it, turned clockwise by \p degrees.
inline QImage page(Kind kind, double degrees = 0, int dpi = 300, std::uint32_t seed = 1) {
    const QSize size(int(std::lround(mm(210, dpi))), int(std::lround(mm(297, dpi))));
    QImage image(size, QImage::Format_RGB32);
    const QColor paper(246, 244, 238);
    image.fill(paper);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(size.width() / 2.0, size.height() / 2.0);
        painter.rotate(degrees);
        painter.translate(-size.width() / 2.0, -size.height() / 2.0);
        drawContent(painter, kind, dpi, seed);
    }
    if (isBlank(kind)) {
        drawBlankTroubles(image, kind, dpi, seed);
    }
    addNoise(image, 5.0, seed * 31 + 5);
    image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    return image;
}

/// Writes \p image to \p path through the program's image component as a scanner's driver
/// would: JPEG at quality 85, the resolution recorded.
inline bool write(const QImage& image, const QString& path, int dpi = 300, int quality = 85) {
    QImage bitmap = image;
    TImageIO io;
    io.BindBitmap(&bitmap);
    io.Params().dpiX = dpi;
    io.Params().dpiY = dpi;
    io.Params().jpegQuality = quality;
    io.SaveImageFile(path);
    return !io.IoFailed();
}

} // namespace scannedpages
