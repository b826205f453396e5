// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tests' own measure of how far a page's lines are turned, apart from the code under test:
// the projection profile of the dark pixels is sharpest along the lines, so the angle whose
// profile has the largest sum of squares is the lines' angle.

#include <QImage>
#include <cmath>
#include <vector>

namespace skewmeasure {

/// Degrees the lines of \p page are turned clockwise, found between -\p range and +\p range.
inline double linesAngle(const QImage& page, double range = 6.0) {
    const QImage grey = page.convertToFormat(QImage::Format_Grayscale8);
    std::vector<float> xs;
    std::vector<float> ys;
    // Only the middle of the page: corners of a turned page hold fill, not lines.
    const int left = grey.width() / 8;
    const int right = grey.width() - left;
    for (int y = grey.height() / 12; y < grey.height() - grey.height() / 12; ++y) {
        const uchar* line = grey.constScanLine(y);
        for (int x = left; x < right; ++x) {
            if (line[x] < 110) {
                xs.push_back(float(x));
                ys.push_back(float(y));
            }
        }
    }
    const auto score = [&](double degrees) {
        const double slope = std::tan(degrees * 3.14159265358979323846 / 180.0);
        const int offset = int(std::ceil(std::abs(slope) * grey.width())) + 1;
        std::vector<double> bins(size_t(grey.height() + 2 * offset), 0.0);
        for (size_t i = 0; i < xs.size(); ++i) {
            const double r = ys[i] - xs[i] * slope + offset;
            bins[size_t(r)] += 1.0;
        }
        double sum = 0;
        for (double bin : bins) {
            sum += bin * bin;
        }
        return sum;
    };
    const auto best = [&](double from, double to, double step) {
        double bestAngle = from;
        double bestScore = -1;
        for (double a = from; a <= to + step / 2; a += step) {
            const double s = score(a);
            if (s > bestScore) {
                bestScore = s;
                bestAngle = a;
            }
        }
        return bestAngle;
    };
    const double coarse = best(-range, range, 0.1);
    return best(coarse - 0.12, coarse + 0.12, 0.01);
}

} // namespace skewmeasure
