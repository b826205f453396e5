// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// What the page editor does to a page, without a window: strokes, shapes, text stamps, the
/// eyedropper, one level of undo and the rotations, all on a QImage in image coordinates.

#include "editor/pagecolours.h"
#include "editor/timageunit.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <optional>

/// The tools, numbered as the editor's tool buttons are.
enum class EditorTool : quint8 {
    Pen = 0,
    Eraser = 1,
    Line = 2,
    Circle = 3,
    Square = 4,
    Eyedropper = 5,
    Text = 6,
};

enum class Rotation : quint8 { Left, Right, Half };

/// The font of text stamps: face, height in image pixels (the pixel size), style, and the
/// colour the text is written in.
struct TextFont {
    QFont font;
    QColor colour;
};

/// The working bitmap and everything drawn on it. Each press, move and release returns the
/// part of the image that must be shown again: the page where it changed, and the rubber band
/// of the line, circle and square tools, which is never drawn into the page.
class DrawingEngine {
public:
    /// A shape being dragged: drawn by the display over the page, not into it.
    struct Band {
        EditorTool tool; ///< Line, Circle or Square
        QPoint anchor;
        QPoint current;
        /// The rectangle of an ellipse or rectangle band (anchor to current, either way round).
        QRect rect() const { return QRect(anchor, current).normalized(); }
    };

    /// Makes \p image the working bitmap (held as 32-bit RGB so every tool can paint on it);
    /// undo is disabled and no drag is in progress. A null image leaves the engine empty.
    /// Everything drawn from now on keeps to the colours that \p image's pixel format holds.
    void setBitmap(const QImage& image);
    /// No page: tools, undo and rotations do nothing.
    void clear() { setBitmap(QImage()); }
    const QImage& bitmap() const { return m_bitmap; }
    bool hasBitmap() const { return !m_bitmap.isNull(); }
    /// The colours the page holds; the bitmap in the page's pixel format is what a save writes.
    const PageColours& pageColours() const { return m_pageColours; }
    /// Changes with every change of the page and comes back with undo: the page is the same as
    /// at an earlier moment when the revision is the same.
    quint64 revision() const { return m_revision; }

    EditorTool tool() const { return m_tool; }
    void setTool(EditorTool tool) { m_tool = tool; }
    QColor colour() const { return m_colour; }
    /// The colour of the pen and the shapes: the colour the page writes for \p colour.
    void setColour(const QColor& colour) { m_colour = m_pageColours.nearest(colour); }
    int lineWidth() const { return m_lineWidth; }
    /// 1 to 5 image pixels; other values are held to that range.
    void setLineWidth(int width);
    const TextFont& textFont() const { return m_textFont; }
    /// The stamp font; its colour as the page writes it.
    void setTextFont(const TextFont& font);
    /// The comment that the next release of the text tool writes.
    void setStampText(const QString& text) { m_stampText = text; }
    const QString& stampText() const { return m_stampText; }

    /// True from a press until the following release.
    bool isDrawing() const { return m_drawing; }
    /// Any button: keeps the page for undo and starts a drag of the current tool at \p point.
    QRect press(QPoint point);
    QRect move(QPoint point);
    QRect release(QPoint point);
    /// The rubber band of the drag in progress, if the tool has one.
    std::optional<Band> band() const;

    bool canUndo() const { return m_undoEnabled; }
    /// Puts back the page as it was before the last change; false when undo is disabled.
    bool undo();
    /// Turns the page; the page before the turn is kept for undo.
    void rotate(Rotation rotation);
    /// Puts \p page, worked out from this page elsewhere (straightened), in its place; the
    /// page before is kept for undo.
    void replacePage(const QImage& page);

private:
    QRect strokeTo(QPoint point, const QColor& colour);
    QRect finishShape(QPoint point);
    QRect stamp(QPoint point);
    QRect bandArea() const;
    /// Keeps \p area to the page's colours and notes that the page changed.
    QRect changed(const QRect& area);

    QImage m_bitmap;
    PageColours m_pageColours;
    quint64 m_revision = 0;
    quint64 m_undoRevision = 0;
    quint64 m_lastRevision = 0; ///< the highest revision handed out
    QImage m_undo;
    bool m_undoEnabled = false;
    TImageUnit m_unit;
    EditorTool m_tool = EditorTool::Pen;
    QColor m_colour = Qt::black;
    int m_lineWidth = 3;
    TextFont m_textFont;
    QString m_stampText;
    bool m_drawing = false;
    QPoint m_anchor;
    QPoint m_current;
    QPoint m_previous;
};
