// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The page editor's tool bar icons and pointers, drawn in code so the program carries no image
/// files.

#include <QCursor>
#include <QIcon>

#include "editor/drawingengine.h"

namespace editoricons {

enum class Icon : quint8 {
    Pen,
    Eraser,
    Line,
    Circle,
    Square,
    Eyedropper,
    Text,
    TextProperties,
    ZoomIn,
    ZoomOut,
    Undo,
    Save,
    Colour,
    RotateLeft,
    RotateRight,
    Rotate180,
    Straighten,
};

QIcon icon(Icon which);
/// The icon of \p tool, as the current-tool button shows it.
QIcon toolIcon(EditorTool tool);
/// The pointer over the page for \p tool. The line tool's pointer shows its tip 10 pixels left
/// of its hot spot, where the line is drawn.
QCursor toolCursor(EditorTool tool);

} // namespace editoricons
