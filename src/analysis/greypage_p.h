// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The darkness of a page at a reduced size, shared by the blank-page decision and the skew
// measurement.

#include <QImage>
#include <cstdint>
#include <vector>

namespace analysis {

/// The page reduced by a whole factor in both directions, each pixel the mean grey level of its
/// box, taking for each source pixel its darkest channel so that a colour counts as dark as its
/// strongest ink (a red stamp, a yellow marker). 255 is white.
class GreyPage {
public:
    GreyPage(const QImage& image, int factor);

    int width() const { return m_width; }
    int height() const { return m_height; }
    const std::uint8_t* line(int y) const {
        return m_pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(m_width);
    }

private:
    int m_width;
    int m_height;
    std::vector<std::uint8_t> m_pixels;
};

} // namespace analysis
