// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/greypage_p.h"

#include <QList>
#include <algorithm>
#include <array>

namespace analysis {
namespace {

/// The formats read below directly; anything else is converted once.
QImage readable(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_RGB888:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return image;
    default:
        return image.convertToFormat(QImage::Format_RGB32);
    }
}

/// Grey level of each palette entry (the identity for grey images).
std::array<std::uint8_t, 256> lookup(const QImage& image) {
    std::array<std::uint8_t, 256> table{};
    const QList<QRgb> colours = image.colorTable();
    for (int i = 0; i < 256; ++i) {
        if (colours.isEmpty()) {
            // A one-bit image without a palette is black on white: a set bit is black.
            table[static_cast<size_t>(i)] =
                static_cast<std::uint8_t>(image.depth() == 1 ? (i == 0 ? 255 : 0) : i);
        } else {
            const QRgb colour = colours.value(i, qRgb(255, 255, 255));
            table[static_cast<size_t>(i)] =
                static_cast<std::uint8_t>(std::min({qRed(colour), qGreen(colour), qBlue(colour)}));
        }
    }
    return table;
}

void darkness(const QImage& image, int y, const std::array<std::uint8_t, 256>& table,
              std::uint8_t* out) {
    const int width = image.width();
    const uchar* in = image.constScanLine(y);
    switch (image.format()) {
    case QImage::Format_RGB888:
        for (int x = 0; x < width; ++x, in += 3) {
            out[x] = std::min({in[0], in[1], in[2]});
        }
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: {
        const auto* pixels = reinterpret_cast<const QRgb*>(in);
        for (int x = 0; x < width; ++x) {
            const QRgb p = pixels[x];
            out[x] = static_cast<std::uint8_t>(std::min({qRed(p), qGreen(p), qBlue(p)}));
        }
        break;
    }
    case QImage::Format_Mono:
        for (int x = 0; x < width; ++x) {
            out[x] = table[static_cast<size_t>((in[x >> 3] >> (7 - (x & 7))) & 1)];
        }
        break;
    case QImage::Format_MonoLSB:
        for (int x = 0; x < width; ++x) {
            out[x] = table[static_cast<size_t>((in[x >> 3] >> (x & 7)) & 1)];
        }
        break;
    default: // Indexed8, Grayscale8
        for (int x = 0; x < width; ++x) {
            out[x] = table[in[x]];
        }
        break;
    }
}

} // namespace

GreyPage::GreyPage(const QImage& image, int factor)
    : m_width(factor > 0 ? image.width() / factor : 0),
      m_height(factor > 0 ? image.height() / factor : 0) {
    if (m_width <= 0 || m_height <= 0) {
        m_width = m_height = 0;
        return;
    }
    m_pixels.resize(static_cast<size_t>(m_width) * static_cast<size_t>(m_height));
    const QImage source = readable(image);
    const std::array<std::uint8_t, 256> table = lookup(source);
    if (factor == 1) {
        for (int y = 0; y < m_height; ++y) {
            darkness(source, y, table,
                     m_pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(m_width));
        }
        return;
    }
    std::vector<std::uint32_t> sums(static_cast<size_t>(m_width));
    std::vector<std::uint8_t> row(static_cast<size_t>(source.width()));
    const auto boxArea = static_cast<std::uint32_t>(factor * factor);
    for (int y = 0; y < m_height; ++y) {
        std::fill(sums.begin(), sums.end(), 0U);
        for (int dy = 0; dy < factor; ++dy) {
            darkness(source, y * factor + dy, table, row.data());
            const std::uint8_t* in = row.data();
            for (int x = 0; x < m_width; ++x) {
                std::uint32_t sum = 0;
                for (int dx = 0; dx < factor; ++dx) {
                    sum += *in++;
                }
                sums[static_cast<size_t>(x)] += sum;
            }
        }
        std::uint8_t* out = m_pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(m_width);
        for (int x = 0; x < m_width; ++x) {
            out[x] = static_cast<std::uint8_t>(sums[static_cast<size_t>(x)] / boxArea);
        }
    }
}

} // namespace analysis
