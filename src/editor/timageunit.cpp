#include "editor/timageunit.h"

#include <algorithm>
#include <cstring>

namespace {

enum class Turn : quint8 { Left, Right, Half };

/// Copies in square tiles so that both the rows read and the rows written stay in the cache; a
/// quarter turn of a scanned page walks one of them column-wise.
constexpr int Tile = 64;

QImage emptyLike(const QImage& source, int width, int height, bool swapResolution) {
    QImage result(width, height, source.format());
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

template <int Bytes> void turnBytes(const QImage& source, QImage& result, Turn turn) {
    const int w = source.width();
    const int h = source.height();
    // Raw rows: scanLine() of a non-const image checks for sharing on every call.
    const uchar* in = source.constBits();
    const qsizetype inStride = source.bytesPerLine();
    uchar* out = result.bits();
    const qsizetype outStride = result.bytesPerLine();
    for (int ty = 0; ty < h; ty += Tile) {
        const int yEnd = std::min(h, ty + Tile);
        for (int tx = 0; tx < w; tx += Tile) {
            const int xEnd = std::min(w, tx + Tile);
            for (int y = ty; y < yEnd; ++y) {
                const uchar* row = in + y * inStride;
                for (int x = tx; x < xEnd; ++x) {
                    const QPoint to = target(turn, x, y, w, h);
                    std::memcpy(out + to.y() * outStride + static_cast<qsizetype>(to.x()) * Bytes,
                                row + static_cast<qsizetype>(x) * Bytes, Bytes);
                }
            }
        }
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

QImage turned(const QImage& source, Turn turn) {
    if (source.isNull()) {
        return {};
    }
    const bool quarter = turn != Turn::Half;
    QImage result = quarter ? emptyLike(source, source.height(), source.width(), true)
                            : emptyLike(source, source.width(), source.height(), false);
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

QImage TImageUnit::RotateLeft(const QImage& source) const {
    return turned(source, Turn::Left);
}

QImage TImageUnit::RotateRight(const QImage& source) const {
    return turned(source, Turn::Right);
}

QImage TImageUnit::Rotate180(const QImage& source) const {
    return turned(source, Turn::Half);
}
