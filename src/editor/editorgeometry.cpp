// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/editorgeometry.h"

#include <array>
#include <cmath>

namespace editorgeometry {

namespace {
constexpr std::array<double, ZoomCount> factors{0.17, 0.25, 0.35, 0.5, 0.7, 1.0,
                                                1.4,  2.0,  2.8,  4.0, 5.64};

int truncated(double value) {
    return static_cast<int>(std::trunc(value));
}
} // namespace

double zoomFactor(int index) {
    return factors.at(static_cast<std::size_t>(clampZoomIndex(index)));
}

int clampZoomIndex(int index) {
    return index < 0 ? 0 : (index >= ZoomCount ? ZoomCount - 1 : index);
}

QString zoomText(int index) {
    return QString::number(zoomFactor(index), 'f', 2);
}

QPoint imagePoint(QPoint screen, double zoom, bool lineTool) {
    const int x = lineTool ? screen.x() - LineToolOffset : screen.x();
    return {truncated(x / zoom), truncated(screen.y() / zoom)};
}

QSize displaySize(QSize image, double zoom) {
    return {truncated(image.width() * zoom), truncated(image.height() * zoom)};
}

int scaledHeight(int height, double zoom) {
    // nearbyint rounds in the default mode, to nearest with ties to even.
    return static_cast<int>(std::nearbyint(height * zoom));
}

} // namespace editorgeometry
