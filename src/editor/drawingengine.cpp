// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/drawingengine.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

namespace {

QPen solidPen(const QColor& colour, int width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

/// The pixels a line or outline of \p width can touch around \p rect.
QRect withPen(const QRect& rect, int width) {
    const int margin = width / 2 + 2;
    return rect.normalized().adjusted(-margin, -margin, margin, margin);
}

} // namespace

void DrawingEngine::setBitmap(const QImage& image) {
    m_pageColours = image.isNull() ? PageColours() : PageColours(image);
    m_bitmap = image.isNull() || image.format() == QImage::Format_RGB32
                   ? image
                   : image.convertToFormat(QImage::Format_RGB32);
    m_revision = ++m_lastRevision;
    m_colour = m_pageColours.nearest(m_colour);
    m_textFont.colour = m_pageColours.nearest(m_textFont.colour);
    // The undo page stays as memory for the next press (its content is never shown again).
    if (m_bitmap.isNull()) {
        m_undo = QImage();
    }
    m_undoEnabled = false;
    m_drawing = false;
}

void DrawingEngine::setTextFont(const TextFont& font) {
    m_textFont = font;
    m_textFont.colour = m_pageColours.nearest(font.colour);
}

QRect DrawingEngine::changed(const QRect& area) {
    // Only what this drag changed: the undo page holds the page as it was at the press.
    m_pageColours.holdTo(m_bitmap, area, &m_undo);
    m_revision = ++m_lastRevision;
    return area;
}

void DrawingEngine::setLineWidth(int width) {
    m_lineWidth = std::clamp(width, 1, 5);
}

QRect DrawingEngine::press(QPoint point) {
    if (!hasBitmap()) {
        return {};
    }
    // Kept as a copy of its own now, so the first stroke does not pay for it mid-drag. The
    // previous undo page lends its memory when it fits: a fresh page-sized buffer costs more in
    // first touches than the copy itself.
    if (m_undo.size() == m_bitmap.size() && m_undo.format() == m_bitmap.format() &&
        m_undo.bytesPerLine() == m_bitmap.bytesPerLine() && m_undo.isDetached()) {
        std::memcpy(m_undo.bits(), m_bitmap.constBits(),
                    static_cast<size_t>(m_bitmap.sizeInBytes()));
    } else {
        m_undo = m_bitmap.copy();
    }
    m_undoRevision = m_revision;
    m_anchor = m_current = m_previous = point;
    m_drawing = true;
    if (m_tool != EditorTool::Eyedropper) {
        m_undoEnabled = true;
    }
    return {};
}

QRect DrawingEngine::move(QPoint point) {
    if (!m_drawing) {
        return {};
    }
    switch (m_tool) {
    case EditorTool::Pen:
        return strokeTo(point, m_colour);
    case EditorTool::Eraser:
        return strokeTo(point, Qt::white);
    case EditorTool::Line:
    case EditorTool::Circle:
    case EditorTool::Square: {
        const QRect before = bandArea();
        m_previous = m_current = point;
        return before.united(bandArea());
    }
    case EditorTool::Text:
        m_current = point;
        return {};
    case EditorTool::Eyedropper:
        break;
    }
    return {};
}

QRect DrawingEngine::release(QPoint point) {
    if (!m_drawing) {
        return {};
    }
    m_drawing = false;
    switch (m_tool) {
    case EditorTool::Pen:
    case EditorTool::Eraser:
        return {};
    case EditorTool::Line:
    case EditorTool::Circle:
    case EditorTool::Square: {
        const QRect band = bandArea();
        m_current = point;
        return band.united(finishShape(point));
    }
    case EditorTool::Eyedropper:
        if (m_bitmap.rect().contains(m_anchor)) {
            m_colour = QColor(m_bitmap.pixel(m_anchor)).toRgb();
        }
        return {};
    case EditorTool::Text:
        return stamp(point);
    }
    return {};
}

std::optional<DrawingEngine::Band> DrawingEngine::band() const {
    if (!m_drawing || (m_tool != EditorTool::Line && m_tool != EditorTool::Circle &&
                       m_tool != EditorTool::Square)) {
        return std::nullopt;
    }
    return Band{m_tool, m_anchor, m_current};
}

QRect DrawingEngine::bandArea() const {
    const auto shape = band();
    return shape ? withPen(QRect(shape->anchor, shape->current), 1) : QRect();
}

QRect DrawingEngine::strokeTo(QPoint point, const QColor& colour) {
    {
        QPainter painter(&m_bitmap);
        painter.setPen(solidPen(colour, m_lineWidth));
        painter.drawLine(m_current, point);
    }
    m_previous = m_current;
    m_current = point;
    return changed(withPen(QRect(m_previous, point), m_lineWidth));
}

QRect DrawingEngine::finishShape(QPoint point) {
    QPainter painter(&m_bitmap);
    painter.setPen(solidPen(m_colour, m_lineWidth));
    painter.setBrush(Qt::NoBrush);
    const QRect rect = QRect(m_anchor, point).normalized();
    switch (m_tool) {
    case EditorTool::Line:
        painter.drawLine(m_anchor, point);
        break;
    case EditorTool::Circle:
        painter.drawEllipse(rect);
        break;
    default:
        painter.drawRect(rect);
        break;
    }
    painter.end();
    return changed(withPen(rect, m_lineWidth));
}

QRect DrawingEngine::stamp(QPoint point) {
    if (m_stampText.isEmpty()) {
        return {};
    }
    QPainter painter(&m_bitmap);
    painter.setFont(m_textFont.font);
    painter.setPen(m_textFont.colour);
    painter.setBrush(Qt::NoBrush);
    // Top-left corner at the point, no background box; the whole page is the room it may take.
    QRect written;
    painter.drawText(QRect(point, m_bitmap.size().expandedTo(QSize(1, 1))),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, m_stampText, &written);
    painter.end();
    return changed(written.adjusted(-2, -2, 2, 2));
}

bool DrawingEngine::undo() {
    if (!m_undoEnabled) {
        return false;
    }
    m_bitmap = m_undo;
    m_undo = QImage();
    m_undoEnabled = false;
    m_revision = m_undoRevision;
    m_drawing = false;
    return true;
}

void DrawingEngine::replacePage(const QImage& page) {
    if (!hasBitmap() || page.isNull()) {
        return;
    }
    m_undo = m_bitmap;
    m_undoEnabled = true;
    m_drawing = false;
    m_bitmap =
        page.format() == QImage::Format_RGB32 ? page : page.convertToFormat(QImage::Format_RGB32);
}

void DrawingEngine::rotate(Rotation rotation) {
    if (!hasBitmap()) {
        return;
    }
    // The page undo held until now is dropped; its memory takes the turned page.
    QImage spare = std::move(m_undo);
    m_undo = m_bitmap;
    m_undoEnabled = true;
    m_undoRevision = m_revision;
    m_revision = ++m_lastRevision; // a turn keeps the page's colours
    switch (rotation) {
    case Rotation::Left:
        m_bitmap = m_unit.RotateLeft(m_undo, std::move(spare));
        break;
    case Rotation::Right:
        m_bitmap = m_unit.RotateRight(m_undo, std::move(spare));
        break;
    case Rotation::Half:
        m_bitmap = m_unit.Rotate180(m_undo, std::move(spare));
        break;
    }
}
