// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/blankpage.h"

#include "analysis/greypage_p.h"

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace blankpage {
namespace {

using analysis::GreyPage;

/// Used when a file records no resolution: the page is taken for a sheet of A4 (297 mm).
constexpr double a4LongSideInches = 297.0 / 25.4;

/// This many times the ink of the limit is a page with something on it at any resolution.
constexpr double surelyMarked = 4.0;

/// A page whose paper is darker than this is a photograph, a dark form or a scan with the lid
/// open: whatever it is, it is not a blank sheet.
constexpr int darkestPaper = 160;

/// Rows and columns along the edges whose median is this much darker than the paper belong to
/// a shadow, however much lighter than ink they are.
int shadowContrast(const Thresholds& thresholds) {
    return std::max(6, thresholds.inkContrast / 2);
}

double fileDpi(QSize fullSize, int dpi) {
    if (dpi >= 50 && dpi <= 2400) {
        return dpi;
    }
    return std::max(fullSize.width(), fullSize.height()) / a4LongSideInches;
}

/// The level below which \p share of the counted values lie.
int percentile(const std::array<std::uint32_t, 256>& histogram, std::uint64_t total, double share) {
    const auto wanted = static_cast<std::uint64_t>(std::llround(double(total) * share));
    std::uint64_t seen = 0;
    for (int level = 0; level < 256; ++level) {
        seen += histogram[static_cast<size_t>(level)];
        if (seen > wanted) {
            return level;
        }
    }
    return 255;
}

/// The area looked at: the page less its margin and any shadow along its edges.
struct Area {
    int left, top, right, bottom; // right and bottom exclusive
    bool empty() const { return right <= left || bottom <= top; }
    std::uint64_t size() const {
        return empty() ? 0 : std::uint64_t(right - left) * std::uint64_t(bottom - top);
    }
};

int rowMedian(const GreyPage& page, int y, int left, int right) {
    std::array<std::uint32_t, 256> histogram{};
    const std::uint8_t* line = page.line(y);
    for (int x = left; x < right; ++x) {
        ++histogram[line[x]];
    }
    return percentile(histogram, std::uint64_t(right - left), 0.5);
}

int columnMedian(const GreyPage& page, int x, int top, int bottom) {
    std::array<std::uint32_t, 256> histogram{};
    for (int y = top; y < bottom; ++y) {
        ++histogram[page.line(y)[x]];
    }
    return percentile(histogram, std::uint64_t(bottom - top), 0.5);
}

/// Moves each side of \p area inwards past rows or columns that are darker than \p paper as a
/// whole, up to \p reach pixels: a shadow darkens its whole row, ink only some of it.
void trimShadows(const GreyPage& page, Area& area, int paper, int contrast, int reach) {
    const int dark = paper - contrast;
    for (int step = 0; step < reach && !area.empty(); ++step) {
        bool moved = false;
        if (rowMedian(page, area.top, area.left, area.right) < dark) {
            ++area.top;
            moved = true;
        }
        if (!area.empty() && rowMedian(page, area.bottom - 1, area.left, area.right) < dark) {
            --area.bottom;
            moved = true;
        }
        if (!area.empty() && columnMedian(page, area.left, area.top, area.bottom) < dark) {
            ++area.left;
            moved = true;
        }
        if (!area.empty() && columnMedian(page, area.right - 1, area.top, area.bottom) < dark) {
            --area.right;
            moved = true;
        }
        if (!moved) {
            break;
        }
    }
}

/// Ink pixels of \p area in marks of at least \p smallestMark pixels: a speck of dust or a
/// noisy pixel is not a mark, while a pencil stroke is a chain of many. Stops past \p enough.
std::uint64_t countInk(const GreyPage& page, const Area& area, int inkBelow, int smallestMark,
                       std::uint64_t enough) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    std::vector<std::uint8_t> seen(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    auto isInk = [&](int x, int y) { return page.line(area.top + y)[area.left + x] < inkBelow; };
    std::vector<int> stack;
    std::uint64_t ink = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t at = static_cast<size_t>(y) * static_cast<size_t>(width) + size_t(x);
            if (seen[at] || !isInk(x, y)) {
                continue;
            }
            // The mark this pixel belongs to, eight neighbours counting as touching.
            seen[at] = 1;
            stack.assign(1, y * width + x);
            std::uint64_t size = 0;
            while (!stack.empty()) {
                const int here = stack.back();
                stack.pop_back();
                ++size;
                const int hx = here % width;
                const int hy = here / width;
                for (int ny = std::max(0, hy - 1); ny <= std::min(height - 1, hy + 1); ++ny) {
                    for (int nx = std::max(0, hx - 1); nx <= std::min(width - 1, hx + 1); ++nx) {
                        const size_t next =
                            static_cast<size_t>(ny) * static_cast<size_t>(width) + size_t(nx);
                        if (!seen[next] && isInk(nx, ny)) {
                            seen[next] = 1;
                            stack.push_back(ny * width + nx);
                        }
                    }
                }
            }
            if (size >= static_cast<std::uint64_t>(smallestMark)) {
                ink += size;
                if (ink > enough) {
                    return ink;
                }
            }
        }
    }
    return ink;
}

int millimetres(int mm, double dpi) {
    return static_cast<int>(std::lround(mm * dpi / 25.4));
}

} // namespace

QSize decodeSizeFor(QSize fullSize, int dpi) {
    const double scale = std::min(1.0, WorkingDpi / fileDpi(fullSize, dpi));
    return QSize(static_cast<int>(std::ceil(fullSize.width() * scale)),
                 static_cast<int>(std::ceil(fullSize.height() * scale)));
}

Verdict examine(const QImage& image, QSize fullSize, int dpi, const Thresholds& thresholds) {
    Verdict verdict;
    if (image.isNull() || fullSize.isEmpty()) {
        return verdict;
    }
    const double imageDpi = fileDpi(fullSize, dpi) * image.width() / fullSize.width();
    const int factor = std::max(1, static_cast<int>(imageDpi / WorkingDpi));
    const GreyPage page(image, factor);
    const double pageDpi = imageDpi / factor;
    const int margin = millimetres(std::max(0, thresholds.marginMm), pageDpi);
    Area area{margin, margin, page.width() - margin, page.height() - margin};
    if (area.empty()) {
        return verdict; // too small to judge: never called blank
    }

    std::array<std::uint32_t, 256> histogram{};
    for (int y = area.top; y < area.bottom; ++y) {
        const std::uint8_t* line = page.line(y);
        for (int x = area.left; x < area.right; ++x) {
            ++histogram[line[x]];
        }
    }
    // Even a full page of text leaves most of the sheet bare, so the median is the paper.
    verdict.paperLevel = percentile(histogram, area.size(), 0.5);
    trimShadows(page, area, verdict.paperLevel, shadowContrast(thresholds),
                millimetres(std::max(0, thresholds.shadowMm), pageDpi));
    if (area.empty()) {
        return verdict;
    }
    // A mark smaller than half a square millimetre is dust.
    const int smallestMark =
        std::max(2, static_cast<int>(std::lround(0.5 * pageDpi * pageDpi / (25.4 * 25.4))));
    // Ink well past the limit settles it; counting on would only cost time.
    const double limit = std::max(1, thresholds.inkPartsPerMillion) * surelyMarked;
    const auto enough = static_cast<std::uint64_t>(limit * double(area.size()) / 1e6);
    const std::uint64_t ink =
        countInk(page, area, verdict.paperLevel - std::max(1, thresholds.inkContrast) + 1,
                 smallestMark, enough);
    verdict.inkPartsPerMillion = double(ink) * 1e6 / double(area.size());
    verdict.blank = verdict.paperLevel >= darkestPaper &&
                    verdict.inkPartsPerMillion < thresholds.inkPartsPerMillion;
    verdict.certain = pageDpi >= WorkingDpi * 0.9 || verdict.paperLevel < darkestPaper ||
                      verdict.inkPartsPerMillion > limit;
    return verdict;
}

} // namespace blankpage
