// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/editoricons.h"

#include "editor/editorgeometry.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace editoricons {

namespace {

constexpr int Side = 24;

QPixmap canvas() {
    QPixmap pixmap(Side, Side);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void arrowHead(QPainter& p, QPointF tip, QPointF from) {
    const QLineF back(tip, from);
    QLineF a = back;
    a.setLength(5);
    a.setAngle(back.angle() + 30);
    QLineF b = back;
    b.setLength(5);
    b.setAngle(back.angle() - 30);
    p.drawLine(a);
    p.drawLine(b);
}

QPixmap draw(Icon which) {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen outline(QColor(40, 40, 40), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(outline);
    switch (which) {
    case Icon::Pen: {
        QPainterPath body;
        body.moveTo(5, 19);
        body.lineTo(7, 14);
        body.lineTo(17, 4);
        body.lineTo(20, 7);
        body.lineTo(10, 17);
        body.closeSubpath();
        p.setBrush(QColor(250, 200, 60));
        p.drawPath(body);
        p.drawLine(QPointF(5, 19), QPointF(8, 18));
        break;
    }
    case Icon::Eraser:
        p.setBrush(QColor(240, 120, 150));
        p.drawRoundedRect(QRectF(4, 9, 16, 8), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 9, 6, 8));
        break;
    case Icon::Line:
        p.drawLine(QPointF(4, 19), QPointF(20, 5));
        break;
    case Icon::Circle:
        p.drawEllipse(QRectF(4, 5, 16, 14));
        break;
    case Icon::Square:
        p.drawRect(QRectF(4.5, 5.5, 15, 13));
        break;
    case Icon::Eyedropper: {
        p.setBrush(QColor(120, 170, 230));
        QPainterPath tube;
        tube.moveTo(5, 19);
        tube.lineTo(13, 11);
        tube.lineTo(15, 13);
        tube.lineTo(7, 21);
        tube.closeSubpath();
        p.drawPath(tube);
        p.setBrush(QColor(60, 60, 60));
        p.drawEllipse(QRectF(14, 4, 7, 7));
        break;
    }
    case Icon::Text: {
        QFont font(QStringLiteral("Serif"));
        font.setPixelSize(18);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRect(0, 0, Side, Side), Qt::AlignCenter, QStringLiteral("A"));
        break;
    }
    case Icon::TextProperties: {
        QFont font(QStringLiteral("Serif"));
        font.setPixelSize(14);
        font.setItalic(true);
        p.setFont(font);
        p.drawText(QRect(1, 1, 14, 16), Qt::AlignCenter, QStringLiteral("A"));
        p.drawText(QRect(10, 6, 14, 16), Qt::AlignCenter, QStringLiteral("a"));
        break;
    }
    case Icon::ZoomIn:
    case Icon::ZoomOut:
        p.drawEllipse(QRectF(3, 3, 13, 13));
        p.drawLine(QPointF(14, 14), QPointF(21, 21));
        p.drawLine(QPointF(6, 9.5), QPointF(13, 9.5));
        if (which == Icon::ZoomIn) {
            p.drawLine(QPointF(9.5, 6), QPointF(9.5, 13));
        }
        break;
    case Icon::Undo: {
        QPainterPath path;
        path.moveTo(6, 10);
        path.cubicTo(10, 4, 20, 6, 19, 14);
        path.cubicTo(18, 18, 14, 19, 11, 19);
        p.drawPath(path);
        arrowHead(p, QPointF(6, 10), QPointF(10, 5));
        break;
    }
    case Icon::Save:
        p.setBrush(QColor(70, 110, 190));
        p.drawRect(QRectF(4, 4, 16, 16));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 4, 10, 6));
        p.drawRect(QRectF(7, 13, 10, 7));
        break;
    case Icon::Colour:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 50, 50));
        p.drawEllipse(QRectF(3, 3, 11, 11));
        p.setBrush(QColor(50, 170, 60));
        p.drawEllipse(QRectF(10, 3, 11, 11));
        p.setBrush(QColor(50, 90, 220));
        p.drawEllipse(QRectF(6.5, 10, 11, 11));
        break;
    case Icon::RotateLeft:
    case Icon::RotateRight: {
        const bool left = which == Icon::RotateLeft;
        p.drawArc(QRectF(5, 5, 14, 14), left ? 0 : 90 * 16, 270 * 16);
        const QPointF tip = left ? QPointF(19, 12) : QPointF(5, 12);
        arrowHead(p, tip, left ? QPointF(19, 17) : QPointF(5, 17));
        break;
    }
    case Icon::Rotate180:
        p.drawArc(QRectF(5, 5, 14, 14), 0, 180 * 16);
        arrowHead(p, QPointF(19, 12), QPointF(19, 17));
        arrowHead(p, QPointF(5, 12), QPointF(5, 7));
        p.drawArc(QRectF(5, 5, 14, 14), 180 * 16, 120 * 16);
        break;
    case Icon::Straighten:
        // A tilted line of text brought level: a slanted stroke over a level one.
        p.drawLine(QPointF(4, 10), QPointF(20, 5));
        p.drawLine(QPointF(4, 18), QPointF(20, 18));
        arrowHead(p, QPointF(20, 14), QPointF(20, 17));
        break;
    }
    return pixmap;
}

QCursor lineCursor() {
    // Left-right arrows around the hot spot, and a cross 10 pixels to its left: the line
    // starts under the cross, not under the hot spot.
    constexpr int HotX = 20;
    constexpr int HotY = 16;
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const int tipX = HotX - editorgeometry::LineToolOffset;
    for (const auto& [colour, width] : {std::pair{QColor(Qt::white), 3}, {QColor(Qt::black), 1}}) {
        p.setPen(QPen(colour, width));
        p.drawLine(tipX - 4, HotY, tipX + 4, HotY);
        p.drawLine(tipX, HotY - 4, tipX, HotY + 4);
        p.drawLine(HotX - 3, HotY, HotX + 9, HotY);
        p.drawLine(HotX - 3, HotY, HotX, HotY - 3);
        p.drawLine(HotX - 3, HotY, HotX, HotY + 3);
        p.drawLine(HotX + 9, HotY, HotX + 6, HotY - 3);
        p.drawLine(HotX + 9, HotY, HotX + 6, HotY + 3);
    }
    return QCursor(pixmap, HotX, HotY);
}

} // namespace

QIcon icon(Icon which) {
    return QIcon(draw(which));
}

QIcon toolIcon(EditorTool tool) {
    switch (tool) {
    case EditorTool::Pen:
        return icon(Icon::Pen);
    case EditorTool::Eraser:
        return icon(Icon::Eraser);
    case EditorTool::Line:
        return icon(Icon::Line);
    case EditorTool::Circle:
        return icon(Icon::Circle);
    case EditorTool::Square:
        return icon(Icon::Square);
    case EditorTool::Eyedropper:
        return icon(Icon::Eyedropper);
    case EditorTool::Text:
        return icon(Icon::Text);
    }
    return {};
}

QCursor toolCursor(EditorTool tool) {
    switch (tool) {
    case EditorTool::Pen:
        return Qt::CrossCursor;
    case EditorTool::Eraser:
        return Qt::PointingHandCursor;
    case EditorTool::Line:
        return lineCursor();
    case EditorTool::Circle:
        return Qt::ForbiddenCursor;
    case EditorTool::Square:
        return Qt::DragMoveCursor;
    case EditorTool::Eyedropper:
        return Qt::ArrowCursor;
    case EditorTool::Text:
        return Qt::SizeAllCursor;
    }
    return Qt::ArrowCursor;
}

} // namespace editoricons
