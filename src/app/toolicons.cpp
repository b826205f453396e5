// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/toolicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace toolicons {
namespace {

constexpr int Side = 32;

template <typename Draw> QIcon drawn(Draw draw) {
    QPixmap pixmap(Side, Side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

} // namespace

QIcon scanner() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.5));
        p.setBrush(QColor(0xD8, 0xD8, 0xD8));
        p.drawRoundedRect(QRectF(3, 14, 26, 12), 2, 2); // body
        p.setBrush(QColor(0x9A, 0xB8, 0xD8));
        p.drawRect(QRectF(6, 16, 20, 3)); // glass
        p.setBrush(Qt::white);
        QPainterPath sheet;
        sheet.moveTo(9, 14);
        sheet.lineTo(11, 4);
        sheet.lineTo(23, 4);
        sheet.lineTo(23, 14);
        p.drawPath(sheet);
        p.setPen(QPen(QColor(0x20, 0xA0, 0x40), 2));
        p.drawLine(QPointF(7, 22), QPointF(25, 22)); // light bar
    });
}

QIcon folder() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(0x80, 0x60, 0x10), 1.5));
        p.setBrush(QColor(0xF0, 0xC8, 0x50));
        QPainterPath shape;
        shape.moveTo(3, 8);
        shape.lineTo(12, 8);
        shape.lineTo(15, 11);
        shape.lineTo(29, 11);
        shape.lineTo(29, 27);
        shape.lineTo(3, 27);
        shape.closeSubpath();
        p.drawPath(shape);
        p.setBrush(QColor(0xF8, 0xDC, 0x78));
        p.drawRect(QRectF(3, 14, 26, 13));
    });
}

QIcon log() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 3, 18, 26));
        p.setPen(QPen(QColor(0x30, 0x60, 0xB0), 1.5));
        for (int y = 9; y <= 23; y += 4) {
            p.drawLine(QPointF(10, y), QPointF(22, y));
        }
    });
}

} // namespace toolicons
