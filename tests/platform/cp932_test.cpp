// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/codepage/cp932.h"

#include <gtest/gtest.h>

namespace {

struct CharCase {
    const char* name;
    const char* utf8;
    const char* cp932Hex; // nullptr: no CP932 form
    size_t length;
    bool doubleByte;
};

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

class Cp932Characters : public ::testing::TestWithParam<CharCase> {};

TEST_P(Cp932Characters, EncodeLengthAndDoubleByteTest) {
    const CharCase& c = GetParam();
    const auto bytes = cp932::encode(c.utf8);
    if (c.cp932Hex) {
        ASSERT_TRUE(bytes.has_value());
        EXPECT_EQ(hex(*bytes), c.cp932Hex);
    } else {
        EXPECT_FALSE(bytes.has_value());
    }
    EXPECT_EQ(cp932::byteLength(c.utf8), c.length);
    EXPECT_EQ(cp932::hasDoubleByte(c.utf8), c.doubleByte);
}

INSTANTIATE_TEST_SUITE_P(Table, Cp932Characters,
                         ::testing::Values(CharCase{"ascii", "Ab1 ", "41623120", 4, false},
                                           CharCase{"halfwidth_katakana", "ｱｲｳ", "b1b2b3", 3,
                                                    false},
                                           CharCase{"kanji", "漢字", "8abf8e9a", 4, true},
                                           CharCase{"nec_circled_one", "①", "8740", 2, true},
                                           CharCase{"fullwidth_tilde", "～", "8160", 2, true},
                                           CharCase{"ibm_small_roman_one", "ⅰ", "fa40", 2, true},
                                           CharCase{"ibm_kanji", "髙", "fbfc", 2, true},
                                           CharCase{"mixed", "A漢ｱ", "418abfb1", 4, true},
                                           CharCase{"euro_not_in_cp932", "€", nullptr, 2, true},
                                           CharCase{"astral_not_in_cp932", "𠮷", nullptr, 2, true},
                                           CharCase{"invalid_utf8", "\xff", nullptr, 2, true},
                                           CharCase{"empty", "", "", 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CutCase {
    const char* name;
    const char* text;
    size_t maxBytes;
    const char* expected;
};

class Cp932Truncate : public ::testing::TestWithParam<CutCase> {};

TEST_P(Cp932Truncate, NeverSplitsACharacter) {
    const CutCase& c = GetParam();
    EXPECT_EQ(cp932::truncate(c.text, c.maxBytes), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Cp932Truncate,
                         ::testing::Values(CutCase{"ascii_exact", "abcdef", 6, "abcdef"},
                                           CutCase{"ascii_cut", "abcdefgh", 6, "abcdef"},
                                           CutCase{"cut_inside_kanji", "あいう", 5, "あい"},
                                           CutCase{"cut_after_kanji", "あいう", 4, "あい"},
                                           CutCase{"odd_after_ascii", "aあいう", 4, "aあ"},
                                           CutCase{"katakana_single_bytes", "ｱｲｳｴｵ", 3, "ｱｲｳ"},
                                           CutCase{"outside_cp932_counts_two", "a€b", 3, "a€"},
                                           CutCase{"outside_cp932_not_split", "a€b", 2, "a"},
                                           CutCase{"zero", "abc", 0, ""},
                                           CutCase{"seven_fullwidth_to_twelve", "全角文字七字分",
                                                   12, "全角文字七字"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Cp932Decode, RoundTripsAndReplacesInvalidBytes) {
    bool valid = false;
    EXPECT_EQ(cp932::decode("\x8a\xbf\x8e\x9a\xb1"
                            "A",
                            &valid),
              "漢字ｱA");
    EXPECT_TRUE(valid);
    EXPECT_EQ(cp932::decode("\x87\x40\x81\x60\xfa\x40"), "①～ⅰ");

    // A lone lead byte at the end and an undefined byte each become one replacement character.
    EXPECT_EQ(cp932::decode("A\xa0"
                            "B\x8a",
                            &valid),
              "A\xEF\xBF\xBD"
              "B\xEF\xBF\xBD");
    EXPECT_FALSE(valid);
}

struct ValidityCase {
    const char* name;
    const char* bytes;
    bool valid;
};

class Cp932Validity : public ::testing::TestWithParam<ValidityCase> {};

// Readers decide between CP932 and UTF-8 on this flag, so what counts as CP932 matters.
TEST_P(Cp932Validity, DecodeTellsWhetherBytesAreCp932) {
    bool valid = !GetParam().valid;
    cp932::decode(GetParam().bytes, &valid);
    EXPECT_EQ(valid, GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Cp932Validity,
    ::testing::Values(
        ValidityCase{"empty", "", true}, ValidityCase{"ascii", "A1\r\n", true},
        ValidityCase{"halfwidth_katakana", "\xca\xb2", true},
        ValidityCase{"kanji", "\x8a\xbf\x8e\x9a", true},
        ValidityCase{"user_defined_area", "\xf0\x40", true},
        ValidityCase{"utf8_nihon_pairs_up_as_cp932", "\xe6\x97\xa5\xe6\x9c\xac", true},
        ValidityCase{"utf8_a_ends_on_a_lead_byte", "\xe3\x81\x82", false},
        ValidityCase{"utf8_kanji_with_bad_trail", "\xe6\xbc\xa2\xe5\xad\x97\n", false},
        ValidityCase{"undefined_single_80", "\x80", false},
        ValidityCase{"undefined_single_a0", "\xa0", false},
        ValidityCase{"undefined_single_fd", "\xfd", false},
        ValidityCase{"unassigned_row", "\x85\x40", false},
        ValidityCase{"trail_byte_out_of_range", "\x81\x20", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Cp932Utf16, SurrogatePairsAndReplacement) {
    EXPECT_EQ(cp932::toUtf16("a漢"), std::u16string(u"a漢"));
    EXPECT_EQ(cp932::toUtf16("𠮷"), std::u16string(u"\xD842\xDFB7"));
    EXPECT_EQ(cp932::toUtf16("\xC3"), std::u16string(u"\uFFFD"));
}

} // namespace
