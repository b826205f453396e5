// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfdoc.h"
#include "pdf/pdftypes.h"

#include "pdftestsupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using pdftest::ExpectError;
using pdftest::Written;

namespace {

struct TextCase {
    const char* name;
    const char* utf8;
    const char* written;
};

class TextStrings : public testing::TestWithParam<TextCase> {};

TEST_P(TextStrings, WrittenForm) {
    TPdfText text(GetParam().utf8);
    EXPECT_EQ(Written(text), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TextStrings,
    testing::Values(TextCase{"empty", "", "()"},
                    TextCase{"date", "D:20240305143009", "(D:20240305143009)"},
                    TextCase{"parentheses_and_backslash", "a(b)\\c", "(a\\(b\\)\\\\c)"},
                    TextCase{"control_escapes", "1\r2\n3\t4\b5\f6", "(1\\r2\\n3\\t4\\b5\\f6)"},
                    TextCase{"other_control_bytes_raw", "a\x01z", "(a\x01z)"},
                    TextCase{"one_kanji", "\xE6\xBC\xA2", "<FEFF6F22>"},
                    // Half-width katakana is single-byte in code page 932, but readers take the
                    // bytes of a literal string as PDFDocEncoding (B1 would show as a plus-minus
                    // sign), so it is written as UTF-16.
                    TextCase{"halfwidth_katakana", "\xEF\xBD\xB1\xEF\xBD\xB2", "<FEFFFF71FF72>"},
                    TextCase{"line_break_in_unicode", "A\r\n\xE6\xBC\xA2",
                             "<FEFF0041000D000A6F22>"},
                    // U+301C WAVE DASH comes back from code page 932 as U+FF5E, as on Windows.
                    TextCase{"wave_dash_kept", "\xE3\x80\x9C", "<FEFF301C>"},
                    TextCase{"euro_outside_cp932", "\xE2\x82\xAC", "<FEFF20AC>"},
                    TextCase{"astral_as_surrogates", "\xF0\xA0\xAE\xB7", "<FEFFD842DFB7>"}),
    [](const auto& info) { return std::string(info.param.name); });

struct NameCase {
    const char* value;
    const char* written;
};

TEST(Names, EscapedBytes) {
    const NameCase cases[] = {
        {"PRJpegImage1 12", "/PRJpegImage1#2012"},
        {"A/B", "/A#2FB"},
        {"#%()<>[]{}", "/#23#25#28#29#3C#3E#5B#5D#7B#7D"},
        {"tab\there\x7f", "/tab#09here#7F"},
        {"\xC3\xA9", "/#C3#A9"},
        {"F0", "/F0"},
        {"", "/"},
    };
    for (const auto& c : cases) {
        TPdfName name(c.value);
        EXPECT_EQ(Written(name), c.written) << c.value;
    }
}

struct RealCase {
    double value;
    const char* general; // TPdfReal
    const char* operand; // FormatReal
};

TEST(Numbers, RealsAndCanvasOperands) {
    const RealCase cases[] = {
        {777, "777", "777"},
        {0.5, "0.5", "0.5"},
        {0, "0", "0"},
        {0.125, "0.125", "0.13"},
        {-0.125, "-0.125", "-0.12"},
        {847, "847", "847"},
        {566.996, "566.996", "567"},
        {12.5, "12.5", "12.5"},
        // Negative operands round like positive ones: -1 is not shifted towards zero.
        {-1, "-1", "-1"},
        {-0.5, "-0.5", "-0.5"},
        {-0.126, "-0.126", "-0.13"},
        {0.1 + 0.2, "0.3", "0.3"},
        {1.0 / 3, "0.333333333333333", "0.33"},
        {123456789.123456789, "123456789.123457", "123456789.12"},
        // No exponent ever: it is not number syntax in a PDF.
        {0.000001, "0.000001", "0"},
        {1.5e-7, "0.00000015", "0"},
        {1e20, "100000000000000000000", "100000000000000000000"},
        {std::numeric_limits<double>::quiet_NaN(), "0", "0"},
        {std::numeric_limits<double>::infinity(), "0", "0"},
    };
    for (const auto& c : cases) {
        TPdfReal real(c.value);
        EXPECT_EQ(Written(real), c.general) << c.value;
        EXPECT_EQ(FormatReal(c.value), c.operand) << c.value;
    }
    TPdfNumber negative(-42);
    EXPECT_EQ(Written(negative), "-42");
}

TEST(Dates, PdfDateHasNoTimeZone) {
    EXPECT_EQ(PdfDate(pdftest::PinnedTime()), "D:20240305143009");
    EXPECT_EQ(PdfDate(TPdfDateTime{2024, 12, 31, 0, 0, 5}), "D:20241231000005");
    EXPECT_EQ(PdfDate().size(), 16u);
}

TEST(Containers, ArraysAndDictionaries) {
    TPdfArray numbers(nullptr, {0, 0, 700, 1000});
    EXPECT_EQ(Written(numbers), "[0 0 700 1000 ]");
    TPdfArray empty;
    EXPECT_EQ(Written(empty), "[]");

    TPdfDictionary dictionary;
    EXPECT_EQ(Written(dictionary), "<<\r\n>>");
    dictionary.Put("Type", std::make_unique<TPdfName>("Page"));
    dictionary.Put("Count", std::make_unique<TPdfNumber>(2));
    dictionary.PutInternal("_Font", std::make_unique<TPdfName>("Arial"));
    auto* nested = dictionary.Put("Resources", std::make_unique<TPdfDictionary>());
    nested->Put("Font", std::make_unique<TPdfDictionary>());
    // Putting a key again moves it to the end.
    dictionary.Put("Type", std::make_unique<TPdfName>("Pages"));
    EXPECT_EQ(Written(dictionary), "<<\r\n/Count 2\r\n/Resources <<\r\n/Font <<\r\n>>\r\n>>\r\n"
                                   "/Type /Pages\r\n>>");
    EXPECT_EQ(dictionary.TypeOf(), "Pages");
    ASSERT_NE(dictionary.LookupName("_Font"), nullptr);
    EXPECT_EQ(dictionary.Lookup("type"), nullptr);
    EXPECT_EQ(dictionary.LookupNumber("Type"), nullptr);

    ExpectError<EPdfInvalidValue>([&] { dictionary.Put("Count", std::unique_ptr<TPdfObject>()); },
                                  "internal error. wrong object.");
    EXPECT_EQ(dictionary.ElementAt(0).Key(), "Count");
    dictionary.Remove("Count");
    dictionary.Remove("Missing");
    EXPECT_EQ(dictionary.ElementCount(), 3);
}

TEST(Containers, IndirectObjectsAreReferencedThroughProxies) {
    TPdfXref xref;
    for (int i = 0; i < 4; ++i) {
        xref.Add(std::make_unique<TPdfNull>());
    }
    auto* indirect = xref.Add(std::make_unique<TPdfNumber>(7));
    ASSERT_EQ(indirect->ObjectNumber(), 5);

    TPdfArray array(&xref);
    array.Append(*indirect);
    array.Append(*indirect);
    auto* direct = array.Append(std::make_unique<TPdfName>("X"));
    array.Append(*direct); // already an item: not appended again
    EXPECT_EQ(Written(array), "[5 0 R 5 0 R /X ]");
    EXPECT_EQ(array.ItemAt(0), indirect);
    EXPECT_EQ(array.ItemAt(9), nullptr);
    EXPECT_EQ(array.FindNameItem("X"), direct);
    EXPECT_TRUE(array.RemoveNameItem("X"));
    EXPECT_FALSE(array.RemoveNameItem("X"));

    TPdfDictionary dictionary(&xref);
    dictionary.Put("Kid", *indirect);
    EXPECT_EQ(Written(dictionary), "<<\r\n/Kid 5 0 R\r\n>>");
    EXPECT_EQ(dictionary.LookupNumber("Kid"), indirect);
    TPdfDictionary unlinked;
    unlinked.Put("Kid", *indirect);
    EXPECT_EQ(unlinked.Lookup("Kid"), nullptr);

    TPdfMemoryOutput out;
    indirect->WriteDefinition(out);
    EXPECT_EQ(out.bytes(), "5 0 obj\r\n7\r\nendobj\r\n");
}

TEST(Streams, LengthAndFiltersAreSetWhenWritten) {
    TPdfStream stream;
    stream.Data() = "\xFF\xD8 raw \xFF\xD9";
    TPdfArray* filter = stream.Attributes().LookupArray("Filter");
    filter->Append(std::make_unique<TPdfName>("FlateDecode"));
    filter->Append(std::make_unique<TPdfName>("DCTDecode"));
    stream.Attributes().Put("Width", std::make_unique<TPdfNumber>(2));
    EXPECT_EQ(Written(stream), "<<\r\n/Length 9\r\n/Filter [/DCTDecode ]\r\n/Width 2\r\n>>\r\n"
                               "stream\r\n\xFF\xD8 raw \xFF\xD9\nendstream");

    TPdfStream empty;
    EXPECT_EQ(Written(empty), "<<\r\n/Length 0\r\n/Filter []\r\n>>\r\nstream\r\n\nendstream");

    TPdfBinary binary;
    binary.Data() = "<FF0000 >";
    EXPECT_EQ(Written(binary), "<FF0000 >");
}

TEST(ObjectErrors, MessagesOfTheObjectLayer) {
    ExpectError<EPdfInvalidOperation>(
        [] {
            TPdfNull direct;
            TPdfMemoryOutput out;
            direct.WriteDefinition(out);
        },
        "internal error wrong object type");
    ExpectError<std::runtime_error>([] { TPdfVirtualObject proxy; },
                                    "virtualObject must be create by CreateVirtual method.");
    ExpectError<EPdfInvalidOperation>(
        [] {
            TPdfXref xref;
            xref.AddObject(TPdfVirtualObject::CreateVirtual(3));
        },
        "AddObject --wrong object type.");
    ExpectError<EPdfInvalidValue>(
        [] {
            TPdfDictionary dictionary;
            TPdfNull direct;
            dictionary.Put("Shared", direct);
        },
        "internal error. wrong object.");
}

} // namespace
