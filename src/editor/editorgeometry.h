// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The page editor's zoom table and the rules that map the screen onto the page.

#include <QPoint>
#include <QSize>
#include <QString>

namespace editorgeometry {

/// Number of zoom steps; the index runs from 0 to ZoomCount - 1.
constexpr int ZoomCount = 11;
/// The index the editor starts at: factor 1.0.
constexpr int DefaultZoomIndex = 5;
/// How far left of the pointer's hot spot the line tool draws, in screen pixels.
constexpr int LineToolOffset = 10;

/// The factor of zoom step \p index (0.17 to 5.64); \p index must be in range.
double zoomFactor(int index);
/// \p index held to 0..10.
int clampZoomIndex(int index);
/// The factor as the status bar shows it, with two decimals ("0.17", "1.00").
QString zoomText(int index);

/// The image pixel under screen point \p screen of the display: each coordinate divided by the
/// zoom and truncated. The line tool first moves the point 10 pixels left.
QPoint imagePoint(QPoint screen, double zoom, bool lineTool = false);
/// Size of the display of a \p image sized bitmap: each side times the zoom, truncated.
QSize displaySize(QSize image, double zoom);
/// A font height scaled for the screen: rounded to the nearest integer, ties to even.
int scaledHeight(int height, double zoom);

} // namespace editorgeometry
