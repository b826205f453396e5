// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/integertext.h"

#include <limits>

std::optional<int> parseSignedInteger(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace()) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    if (i == n) {
        return std::nullopt;
    }
    // The magnitude may reach 2^31 (the most negative int); stopping as soon as it passes that
    // keeps the sum far from overflowing however many digits follow.
    constexpr qint64 limitNegative = std::numeric_limits<int>::min();
    constexpr qint64 limitPositive = std::numeric_limits<int>::max();
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c - u'0');
        if (value > -limitNegative) {
            return std::nullopt;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value < limitNegative || value > limitPositive) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}
