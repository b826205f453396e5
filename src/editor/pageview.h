// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The display of the page in the editor: the working bitmap at the zoom, with the rubber band
/// of the shape being dragged drawn over it.

#include <QWidget>

class DrawingEngine;
class QLabel;

/// Shows the engine's bitmap scaled by the zoom, trunc(width × zoom) by trunc(height × zoom)
/// pixels. Paints only the parts asked for, straight from the bitmap, so a stroke repaints only
/// the few pixels it changed. Mouse input is handed on in the display's own coordinates.
class PageView : public QWidget {
    Q_OBJECT
public:
    explicit PageView(const DrawingEngine& engine, QWidget* parent = nullptr);

    double zoom() const { return m_zoom; }
    /// Sizes the display for the bitmap at \p zoom and repaints all of it.
    void redisplay(double zoom);
    /// Repaints the screen area of the image rectangle \p imageRect.
    void updateImageRect(const QRect& imageRect);
    /// The label that shows a comment while it is being placed.
    QLabel* textPreview() const { return m_preview; }

signals:
    void pressed(QPoint pos, Qt::MouseButton button);
    void moved(QPoint pos);
    void released(QPoint pos, Qt::MouseButton button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const DrawingEngine& m_engine;
    double m_zoom = 1.0;
    QLabel* m_preview;
};
