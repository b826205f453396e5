#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace imaging {
namespace {

/// Weights of the source pixels that make one destination pixel along one axis.
struct Contribution {
    int first = 0;                 ///< first source pixel
    std::vector<std::int32_t> weights; ///< fixed point, summing to 1 << Shift
};

constexpr int Shift = 14;

std::vector<Contribution> contributions(int sourceLength, int targetLength) {
    const double scale = double(sourceLength) / double(targetLength);
    // Shrinking widens the filter to cover every source pixel; enlarging keeps it at one pixel.
    const double filterScale = std::max(1.0, scale);
    const double support = filterScale; // triangle of radius 1, scaled
    std::vector<Contribution> result(static_cast<size_t>(targetLength));
    std::vector<double> raw;
    for (int i = 0; i < targetLength; ++i) {
        const double centre = (i + 0.5) * scale;
        const int first = std::max(0, static_cast<int>(std::floor(centre - support)));
        const int last = std::min(sourceLength - 1, static_cast<int>(std::ceil(centre + support)));
        raw.clear();
        double total = 0;
        for (int s = first; s <= last; ++s) {
            const double distance = std::abs((s + 0.5 - centre) / filterScale);
            const double weight = distance < 1.0 ? 1.0 - distance : 0.0;
            raw.push_back(weight);
            total += weight;
        }
        Contribution& c = result[static_cast<size_t>(i)];
        c.first = first;
        if (total <= 0) { // cannot happen for sane sizes; fall back to the nearest pixel
            c.first = std::clamp(static_cast<int>(centre), 0, sourceLength - 1);
            c.weights = {1 << Shift};
            continue;
        }
        c.weights.resize(raw.size());
        std::int32_t sum = 0;
        size_t largest = 0;
        for (size_t k = 0; k < raw.size(); ++k) {
            c.weights[k] = static_cast<std::int32_t>(std::lround(raw[k] / total * (1 << Shift)));
            sum += c.weights[k];
            if (raw[k] > raw[largest]) {
                largest = k;
            }
        }
        c.weights[largest] += (1 << Shift) - sum; // rounding leftovers, so flat areas stay flat
    }
    return result;
}

std::uint8_t clampToByte(std::int64_t value) {
    const std::int64_t rounded = (value + (1 << (Shift - 1))) >> Shift;
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(rounded, 0, 255));
}

} // namespace

QImage resample(const QImage& image, QSize size) {
    if (image.isNull() || size.isEmpty()) {
        return {};
    }
    const QImage source =
        image.format() == QImage::Format_RGB888 ? image : image.convertToFormat(QImage::Format_RGB888);
    if (source.size() == size) {
        return source;
    }
    const int sourceWidth = source.width();
    const int sourceHeight = source.height();
    const int width = size.width();
    const int height = size.height();

    // Horizontal pass into an intermediate of the target width and the source height.
    const auto across = contributions(sourceWidth, width);
    QImage middle(width, sourceHeight, QImage::Format_RGB888);
    if (middle.isNull()) {
        return {};
    }
    for (int y = 0; y < sourceHeight; ++y) {
        const std::uint8_t* in = source.constScanLine(y);
        std::uint8_t* out = middle.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const Contribution& c = across[static_cast<size_t>(x)];
            std::int64_t r = 0, g = 0, b = 0;
            const std::uint8_t* p = in + c.first * 3;
            for (const std::int32_t w : c.weights) {
                r += p[0] * w;
                g += p[1] * w;
                b += p[2] * w;
                p += 3;
            }
            out[x * 3] = clampToByte(r);
            out[x * 3 + 1] = clampToByte(g);
            out[x * 3 + 2] = clampToByte(b);
        }
    }

    // Vertical pass, a whole row at a time so that memory is read in order.
    const auto down = contributions(sourceHeight, height);
    QImage result(width, height, QImage::Format_RGB888);
    if (result.isNull()) {
        return {};
    }
    const int rowBytes = width * 3;
    std::vector<std::int64_t> sums(static_cast<size_t>(rowBytes));
    for (int y = 0; y < height; ++y) {
        const Contribution& c = down[static_cast<size_t>(y)];
        std::fill(sums.begin(), sums.end(), 0);
        for (size_t k = 0; k < c.weights.size(); ++k) {
            const std::uint8_t* in = middle.constScanLine(c.first + static_cast<int>(k));
            const std::int32_t w = c.weights[k];
            for (int i = 0; i < rowBytes; ++i) {
                sums[static_cast<size_t>(i)] += in[i] * w;
            }
        }
        std::uint8_t* out = result.scanLine(y);
        for (int i = 0; i < rowBytes; ++i) {
            out[i] = clampToByte(sums[static_cast<size_t>(i)]);
        }
    }
    result.setDotsPerMeterX(image.dotsPerMeterX());
    result.setDotsPerMeterY(image.dotsPerMeterY());
    return result;
}

} // namespace imaging
