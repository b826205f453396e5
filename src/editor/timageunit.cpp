// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/timageunit.h"

#include <algorithm>

namespace {

enum class Turn : quint8 { Left, Right, Half };

/// Copies in square tiles so that both the rows read and the rows written stay in the cache; a
/// quarter turn of a scanned page walks one of them column-wise.
constexpr int Tile = 64;

/// A \p width x \p height bitmap of the source's format over the memory of \p recycle when
/// that fits exactly, else a new one.
QImage blank(const QImage& source, int width, int height, QImage recycle) {
    const int depth = source.depth();
    // Rows without padding: then both orientations of a page take the same bytes.
    const bool unpadded = depth >= 8 && (static_cast<qsizetype>(width) * depth) % 32 == 0 &&
                          (static_cast<qsizetype>(source.width()) * depth) % 32 == 0;
    if (unpadded && !recycle.isNull() && recycle.isDetached() &&
        recycle.format() == source.format() && recycle.sizeInBytes() == source.sizeInBytes()) {
        auto* holder = new QImage(std::move(recycle));
        return QImage(
            holder->bits(), width, height, static_cast<qsizetype>(width) * depth / 8,
            source.format(), [](void* image) { delete static_cast<QImage*>(image); }, holder);
    }
    return QImage(width, height, source.format());
}

QImage emptyLike(const QImage& source, int width, int height, bool swapResolution, QImage recycle) {
    QImage result = blank(source, width, height, std::move(recycle));
    if (result.isNull()) {
        return result;
    }
    result.setColorTable(source.colorTable());
    result.setDotsPerMeterX(swapResolution ? source.dotsPerMeterY() : source.dotsPerMeterX());
    result.setDotsPerMeterY(swapResolution ? source.dotsPerMeterX() : source.dotsPerMeterY());
    return result;
}

/// Where source pixel (x, y) of a W x H bitmap lands.
inline QPoint target(Turn turn, int x, int y, int w, int h) {
    switch (turn) {
    case Turn::Left:
        return {y, w - 1 - x};
    case Turn::Right:
        return {h - 1 - y, x};
    case Turn::Half:
        break;
    }
    return {w - 1 - x, h - 1 - y};
}

/// One pixel of \p Bytes bytes; the copy compiles to a plain load and store.
template <int Bytes> struct Pixel { uchar bytes[Bytes]; };

template <int Bytes, Turn turn> void turnBytes(const QImage& source, QImage& result) {
    using P = Pixel<Bytes>;
    const int w = source.width();
    const int h = source.height();
    // Raw rows: scanLine() of a non-const image checks for sharing on every call.
    const uchar* in = source.constBits();
    const qsizetype inStride = source.bytesPerLine();
    uchar* out = result.bits();
    const qsizetype outStride = result.bytesPerLine();
    if constexpr (turn == Turn::Half) {
        for (int y = 0; y < h; ++y) {
            const P* row = reinterpret_cast<const P*>(in + y * inStride);
            P* to = reinterpret_cast<P*>(out + (h - 1 - y) * outStride) + (w - 1);
            for (int x = 0; x < w; ++x) {
                *to-- = row[x];
            }
        }
        return;
    }
    for (int ty = 0; ty < h; ty += Tile) {
        const int yEnd = std::min(h, ty + Tile);
        for (int tx = 0; tx < w; tx += Tile) {
            const int xEnd = std::min(w, tx + Tile);
            for (int x = tx; x < xEnd; ++x) {
                // Source column x becomes one destination row: written left to right.
                const int outRow = turn == Turn::Left ? w - 1 - x : x;
                P* to = reinterpret_cast<P*>(out + outRow * outStride);
                for (int y = ty; y < yEnd; ++y) {
                    const int outColumn = turn == Turn::Left ? y : h - 1 - y;
                    to[outColumn] = reinterpret_cast<const P*>(in + y * inStride)[x];
                }
            }
        }
    }
}

template <int Bytes> void turnBytes(const QImage& source, QImage& result, Turn turn) {
    switch (turn) {
    case Turn::Left:
        turnBytes<Bytes, Turn::Left>(source, result);
        break;
    case Turn::Right:
        turnBytes<Bytes, Turn::Right>(source, result);
        break;
    case Turn::Half:
        turnBytes<Bytes, Turn::Half>(source, result);
        break;
    }
}

void turnBits(const QImage& source, QImage& result, Turn turn) {
    // Bilevel pages: one bit per pixel, in either bit order; rare enough to go pixel by pixel.
    result.fill(0);
    const int w = source.width();
    const int h = source.height();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QPoint to = target(turn, x, y, w, h);
            result.setPixel(to, static_cast<uint>(source.pixelIndex(x, y)));
        }
    }
}

QImage turned(const QImage& source, Turn turn, QImage recycle = {}) {
    if (source.isNull()) {
        return {};
    }
    const bool quarter = turn != Turn::Half;
    QImage result =
        quarter ? emptyLike(source, source.height(), source.width(), true, std::move(recycle))
                : emptyLike(source, source.width(), source.height(), false, std::move(recycle));
    if (result.isNull()) {
        return result;
    }
    switch (source.depth()) {
    case 1:
        turnBits(source, result, turn);
        break;
    case 8:
        turnBytes<1>(source, result, turn);
        break;
    case 16:
        turnBytes<2>(source, result, turn);
        break;
    case 24:
        turnBytes<3>(source, result, turn);
        break;
    case 32:
        turnBytes<4>(source, result, turn);
        break;
    case 64:
        turnBytes<8>(source, result, turn);
        break;
    default:
        // Any other layout goes through 32 bits and comes back in its own format.
        return turned(source.convertToFormat(QImage::Format_ARGB32), turn)
            .convertToFormat(source.format());
    }
    return result;
}

} // namespace

QImage TImageUnit::RotateLeft(const QImage& source, QImage recycle) const {
    return turned(source, Turn::Left, std::move(recycle));
}

QImage TImageUnit::RotateRight(const QImage& source, QImage recycle) const {
    return turned(source, Turn::Right, std::move(recycle));
}

QImage TImageUnit::Rotate180(const QImage& source, QImage recycle) const {
    return turned(source, Turn::Half, std::move(recycle));
}
