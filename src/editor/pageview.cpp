// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/pageview.h"

#include "editor/drawingengine.h"
#include "editor/editorgeometry.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

PageView::PageView(const DrawingEngine& engine, QWidget* parent)
    : QWidget(parent), m_engine(engine), m_preview(new QLabel(this)) {
    setObjectName(QStringLiteral("Image1"));
    setAttribute(Qt::WA_OpaquePaintEvent); // every pixel is painted from the bitmap
    m_preview->setObjectName(QStringLiteral("TextPreview"));
    m_preview->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_preview->setAutoFillBackground(false);
    m_preview->hide();
}

void PageView::redisplay(double zoom) {
    m_zoom = zoom;
    const QSize size = editorgeometry::displaySize(m_engine.bitmap().size(), zoom);
    setFixedSize(size);
    update();
}

void PageView::updateImageRect(const QRect& imageRect) {
    if (imageRect.isEmpty()) {
        return;
    }
    const QRect screen(static_cast<int>(std::floor(imageRect.left() * m_zoom)) - 1,
                       static_cast<int>(std::floor(imageRect.top() * m_zoom)) - 1,
                       static_cast<int>(std::ceil(imageRect.width() * m_zoom)) + 3,
                       static_cast<int>(std::ceil(imageRect.height() * m_zoom)) + 3);
    update(screen);
}

void PageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    const QImage& bitmap = m_engine.bitmap();
    if (bitmap.isNull()) {
        painter.fillRect(area, palette().window());
        return;
    }
    // The image pixels behind the area, widened to whole pixels, drawn where the whole page
    // would put them: a partial repaint gives the same pixels as a full one.
    const int left = std::max(0, static_cast<int>(std::floor(area.left() / m_zoom)));
    const int top = std::max(0, static_cast<int>(std::floor(area.top() / m_zoom)));
    const int right =
        std::min(bitmap.width(), static_cast<int>(std::ceil((area.right() + 1) / m_zoom)) + 1);
    const int bottom =
        std::min(bitmap.height(), static_cast<int>(std::ceil((area.bottom() + 1) / m_zoom)) + 1);
    painter.setClipRect(area);
    if (right > left && bottom > top) {
        const QRect source(left, top, right - left, bottom - top);
        const QRectF target(left * m_zoom, top * m_zoom, source.width() * m_zoom,
                            source.height() * m_zoom);
        painter.drawImage(target, bitmap, source);
    }
    const auto band = m_engine.band();
    if (!band) {
        return;
    }
    // The band inverts what it crosses, as white drawn exclusive-or would: it shows on any
    // page and leaves the page itself alone.
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::NoBrush);
    painter.scale(m_zoom, m_zoom);
    QPen pen(Qt::white, 0); // cosmetic: one screen pixel wide at every zoom
    painter.setPen(pen);
    switch (band->tool) {
    case EditorTool::Line:
        painter.drawLine(band->anchor, band->current);
        break;
    case EditorTool::Circle:
        painter.drawEllipse(band->rect());
        break;
    default:
        painter.drawRect(band->rect());
        break;
    }
}

void PageView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    emit pressed(event->position().toPoint(), event->button());
}

void PageView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit moved(event->position().toPoint());
}

void PageView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    emit released(event->position().toPoint(), event->button());
}
