// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfdoc.h"
#include "pdf/pdffonts.h"

#include "pdftestsupport.h"

#include <gtest/gtest.h>

namespace {

TEST(Fonts, DictionaryNamesTheBaseFontOnly) {
    TPdfDoc doc;
    doc.NewDoc();
    TPdfFont& arial = doc.GetFont("Arial");
    EXPECT_EQ(pdftest::Definition(*arial.Data()),
              "4 0 obj\r\n<<\r\n/Type /Font\r\n/Subtype /Type1\r\n/Encoding /WinAnsiEncoding\r\n"
              "/FirstChar 32\r\n/LastChar 255\r\n/BaseFont /Helvetica\r\n/Name /F0\r\n>>\r\n"
              "endobj\r\n");
    EXPECT_EQ(&doc.GetFont("Arial"), &arial);
    EXPECT_EQ(doc.GetFont("Times-Roman").Data()->LookupName("Name")->Value(), "F1");
}

TEST(Fonts, EveryRegisteredNameHasItsBaseFont) {
    const struct {
        const char* name;
        const char* baseFont;
    } fonts[] = {
        {"FixedWidth", "Courier"},
        {"FixedWidth-Bold", "Courier-Bold"},
        {"FixedWidth-Italic", "Courier-Oblique"},
        {"FixedWidth-BoldItalic", "Courier-BoldOblique"},
        {"Arial", "Helvetica"},
        {"Arial-Bold", "Helvetica-Bold"},
        {"Arial-Italic", "Helvetica-Oblique"},
        {"Arial-BoldItalic", "Helvetica-BoldOblique"},
        {"Times-Roman", "Times-Roman"},
        {"Times-Bold", "Times-Bold"},
        {"Times-Italic", "Times-Italic"},
        {"Times-BoldItalic", "Times-BoldItalic"},
    };
    EXPECT_EQ(RegisteredFontNames().size(), std::size(fonts));
    TPdfXref xref;
    for (const auto& font : fonts) {
        auto created = CreateFont(font.name, xref);
        ASSERT_NE(created, nullptr) << font.name;
        EXPECT_EQ(created->Name(), font.name);
        EXPECT_EQ(created->Data()->LookupName("BaseFont")->Value(), font.baseFont);
    }
    EXPECT_EQ(CreateFont("arial", xref), nullptr);
}

TEST(Fonts, CharacterWidths) {
    TPdfXref xref;
    auto arial = CreateFont("Arial", xref);
    auto arialItalic = CreateFont("Arial-Italic", xref);
    auto times = CreateFont("Times-Roman", xref);
    auto timesBold = CreateFont("Times-Bold", xref);
    auto courier = CreateFont("FixedWidth-BoldItalic", xref);
    const struct {
        TPdfFont* font;
        const char* text;
        int position;
        int width;
    } cases[] = {
        {arial.get(), "A", 1, 667},     {arial.get(), "xA", 2, 667},
        {arial.get(), "@", 1, 1015},    {arial.get(), "'", 1, 191},
        {arial.get(), "\x7F", 1, 0},    {arial.get(), "\x81", 1, 0},
        {arial.get(), "\xA0", 1, 0},    {arial.get(), "\xAD", 1, 0},
        {arial.get(), "\x80", 1, 556}, // Euro
        {arial.get(), "\xE9", 1, 556}, // e acute
        {arial.get(), "A", 2, 0},      // outside the text
        {arial.get(), "A", 0, 0},       {arialItalic.get(), "@", 1, 1015},
        {times.get(), "A", 1, 722},     {times.get(), "@", 1, 921},
        {timesBold.get(), "A", 1, 722}, {timesBold.get(), "a", 1, 500},
        {courier.get(), "W", 1, 600},   {courier.get(), "\x7F", 1, 600},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.font->CharWidth(c.text, c.position), c.width)
            << c.font->Name() << " " << c.text << " at " << c.position;
    }
    // The table is kept in the dictionary as an internal entry, never written.
    EXPECT_EQ(pdftest::Written(*arial->Data()).find("Widths"), std::string::npos);
    EXPECT_EQ(arial->Data()->LookupArray("Widths")->ItemCount(), 224);
}

} // namespace
