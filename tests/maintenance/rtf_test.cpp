// SPDX-License-Identifier: GPL-3.0-or-later
// The RTF writer of the result lists: what a word processor reads back.

#include "platform/rtfwriter.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(RtfWriter, EscapesWhatRtfReservesAndEveryCharacterBeyondAscii) {
    const struct {
        const char16_t* text;
        const char* rtf;
    } cases[] = {
        {u"/arch/00/01/HP_1_0.pdf", "/arch/00/01/HP_1_0.pdf"},
        {u"a\\b{c}", "a\\\\b\\{c\\}"},
        {u"a\tb", "a\\tab b"},
        {u"カルテ", "\\u12459?\\u12523?\\u12486?"},
        {u"～", "\\u-162?"},                    // above U+7FFF: a negative number
        {u"\U0001F600", "\\u-10179?\\u-8704?"}, // outside the BMP: both halves
        {u"a\nb", "a b"},                       // a line break stays inside its paragraph
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rtf::escape(QString::fromUtf16(c.text)), QByteArray(c.rtf));
    }
}

TEST(RtfWriter, OneParagraphALine) {
    EXPECT_EQ(rtf::document({"/a/1.pdf", "/a/カ.pdf"}),
              QByteArray("{\\rtf1\\ansi\\ansicpg932\\deff0\\uc1"
                         "{\\fonttbl{\\f0\\fmodern\\fcharset128 IPAGothic;}}\r\n"
                         "\\f0\\fs20\r\n"
                         "/a/1.pdf\\par\r\n"
                         "/a/\\u12459?.pdf\\par\r\n"
                         "}\r\n"));
    EXPECT_TRUE(rtf::document({}).endsWith("\\f0\\fs20\r\n}\r\n"));
}

TEST(RtfWriter, AFileThatCannotBeWrittenSaysWhy) {
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(rtf::writeFile(dir.filePath("no/such/folder/x.rtf"), {"x"}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(rtf::writeFile(dir.filePath("x.rtf"), {"x"}, &error));
}
