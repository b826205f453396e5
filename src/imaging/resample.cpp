// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace imaging {
namespace {

constexpr int Shift = 14;

/// The weights of the source pixels that make each destination pixel along one axis, with the
/// same number of taps for every destination pixel (unused taps weigh nothing) so that the inner
/// loops have a fixed length.
struct Kernel {
    int taps = 0;
    std::vector<int> first;            ///< first source pixel of each destination pixel
    std::vector<std::int16_t> weights; ///< taps per destination pixel, fixed point, sum 1 << Shift
};

Kernel kernel(int sourceLength, int targetLength) {
    const double scale = double(sourceLength) / double(targetLength);
    // Shrinking widens the filter so that every source pixel contributes; enlarging keeps it at
    // one source pixel either side.
    const double filterScale = std::max(1.0, scale);
    const double support = filterScale;
    Kernel k;
    k.taps = std::min(sourceLength, static_cast<int>(std::ceil(support)) * 2 + 1);
    k.first.resize(static_cast<size_t>(targetLength));
    k.weights.assign(static_cast<size_t>(targetLength) * static_cast<size_t>(k.taps), 0);
    std::vector<double> raw(static_cast<size_t>(k.taps));
    for (int i = 0; i < targetLength; ++i) {
        const double centre = (i + 0.5) * scale;
        int first = static_cast<int>(std::floor(centre - support));
        first = std::clamp(first, 0, sourceLength - k.taps);
        double total = 0;
        for (int t = 0; t < k.taps; ++t) {
            const double distance = std::abs((first + t + 0.5 - centre) / filterScale);
            raw[static_cast<size_t>(t)] = distance < 1.0 ? 1.0 - distance : 0.0;
            total += raw[static_cast<size_t>(t)];
        }
        std::int16_t* weights = &k.weights[static_cast<size_t>(i) * static_cast<size_t>(k.taps)];
        k.first[static_cast<size_t>(i)] = first;
        if (total <= 0) { // only for degenerate sizes: take the nearest pixel
            weights[std::clamp(static_cast<int>(centre) - first, 0, k.taps - 1)] = 1 << Shift;
            continue;
        }
        std::int32_t sum = 0;
        int largest = 0;
        for (int t = 0; t < k.taps; ++t) {
            weights[t] = static_cast<std::int16_t>(
                std::lround(raw[static_cast<size_t>(t)] / total * (1 << Shift)));
            sum += weights[t];
            if (raw[static_cast<size_t>(t)] > raw[static_cast<size_t>(largest)]) {
                largest = t;
            }
        }
        // Rounding leftovers go to the largest weight, so flat areas stay flat.
        weights[largest] = static_cast<std::int16_t>(weights[largest] + (1 << Shift) - sum);
    }
    return k;
}

// The weights are not negative and sum to 1 << Shift, so sums of 8-bit samples fit in 32 bits.
std::uint8_t toByte(std::int32_t value) {
    return static_cast<std::uint8_t>(std::clamp((value + (1 << (Shift - 1))) >> Shift, 0, 255));
}

} // namespace

QImage resample(const QImage& image, QSize size) {
    if (image.isNull() || size.isEmpty()) {
        return {};
    }
    QImage source = image.format() == QImage::Format_RGB888
                        ? image
                        : image.convertToFormat(QImage::Format_RGB888);
    if (source.size() == size) {
        return source;
    }
    const int sourceWidth = source.width();
    const int sourceHeight = source.height();
    const int width = size.width();
    const int height = size.height();

    // Rows first: each destination row is a weighted sum of whole source rows, a loop the
    // compiler vectorises, and the columns pass then works on the fewer rows of the target.
    const Kernel down = kernel(sourceHeight, height);
    const int sourceRowBytes = sourceWidth * 3;
    QImage middle(sourceWidth, height, QImage::Format_RGB888);
    if (middle.isNull()) {
        return {};
    }
    std::vector<std::int32_t> sums(static_cast<size_t>(sourceRowBytes));
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        const std::int16_t* weights =
            &down.weights[static_cast<size_t>(y) * static_cast<size_t>(down.taps)];
        for (int t = 0; t < down.taps; ++t) {
            const std::int16_t w = weights[t];
            if (w == 0) {
                continue;
            }
            const std::uint8_t* __restrict in =
                source.constScanLine(down.first[static_cast<size_t>(y)] + t);
            std::int32_t* __restrict sum = sums.data();
            // 16-bit factors with 32-bit products: the multiply the vectoriser has on every x86-64.
            for (int i = 0; i < sourceRowBytes; ++i) {
                sum[i] += static_cast<std::int32_t>(static_cast<std::int16_t>(in[i]) * w);
            }
        }
        std::uint8_t* out = middle.scanLine(y);
        for (int i = 0; i < sourceRowBytes; ++i) {
            out[i] = toByte(sums[static_cast<size_t>(i)]);
        }
    }

    const Kernel across = kernel(sourceWidth, width);
    QImage result(width, height, QImage::Format_RGB888);
    if (result.isNull()) {
        return {};
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = middle.constScanLine(y);
        std::uint8_t* out = result.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::int16_t* weights =
                &across.weights[static_cast<size_t>(x) * static_cast<size_t>(across.taps)];
            const std::uint8_t* p = in + across.first[static_cast<size_t>(x)] * 3;
            std::int32_t r = 0, g = 0, b = 0;
            for (int t = 0; t < across.taps; ++t) {
                r += p[0] * weights[t];
                g += p[1] * weights[t];
                b += p[2] * weights[t];
                p += 3;
            }
            out[0] = toByte(r);
            out[1] = toByte(g);
            out[2] = toByte(b);
            out += 3;
        }
    }
    result.setDotsPerMeterX(image.dotsPerMeterX());
    result.setDotsPerMeterY(image.dotsPerMeterY());
    return result;
}

} // namespace imaging
