// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/integertext.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* text;
    std::optional<int> expected;
};

TEST(ParseSignedInteger, AcceptsOnlyBlanksSignDigits) {
    const Case cases[] = {
        {"0", 0},
        {"007", 7},
        {"  42", 42},
        {"\t+5", 5},
        {"　12", 12}, // an ideographic space is a blank too
        {"-1", -1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},  // one past the largest int
        {"-2147483649", std::nullopt}, // one past the smallest
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"+", std::nullopt},
        {"- 5", std::nullopt},
        {"5 ", std::nullopt}, // nothing may follow the digits
        {"12a", std::nullopt},
        {"1.0", std::nullopt},
        {"0x10", std::nullopt},
        {"+-1", std::nullopt},
        {"１２", std::nullopt}, // full-width digits are not decimal digits here
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseSignedInteger(QString::fromUtf8(c.text)), c.expected) << c.text;
    }
}

} // namespace
