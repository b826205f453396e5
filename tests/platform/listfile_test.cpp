// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/listfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ParseCase {
    const char* name;
    QByteArray bytes;
    QStringList items;
};

class ListFileParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ListFileParse, SplitsLines) {
    EXPECT_EQ(listfile::parse(GetParam().bytes), GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ListFileParse,
    ::testing::Values(
        ParseCase{"crlf", "a\r\nb\r\n", {"a", "b"}}, ParseCase{"lf_only", "a\nb\n", {"a", "b"}},
        ParseCase{"cr_only", "a\rb\r", {"a", "b"}},
        ParseCase{"last_line_without_end", "a\r\nb", {"a", "b"}},
        ParseCase{"empty_line_is_an_item", "a\n\nb\n", {"a", "", "b"}},
        ParseCase{"empty_file", "", {}},
        ParseCase{"cp932_text",
                  "\x8a\xbf\x8e\x9a\r\n\xb1\r\n",
                  {QStringLiteral("漢字"), QStringLiteral("ｱ")}},
        ParseCase{"utf8_with_bom", "\xEF\xBB\xBF\xE2\x82\xAC\r\n", {QStringLiteral("€")}},
        ParseCase{"utf8_without_bom", "\xE6\xBC\xA2\xE5\xAD\x97\n", {QStringLiteral("漢字")}},
        ParseCase{
            "invalid_bytes_keep_the_rest",
            "ok\r\n\xa0\x81\r\nnext\r\n",
            {"ok", QString(QChar::ReplacementCharacter) + QChar::ReplacementCharacter, "next"}},
        // The whole file is valid UTF-8 as well ("ʲ", "ý"): CP932 comes first.
        ParseCase{"halfwidth_katakana_cp932",
                  "\xca\xb2\r\n\xc3\xbd\r\n",
                  {QStringLiteral("ﾊｲ"), QStringLiteral("ﾃｽ")}},
        ParseCase{"utf8_with_bom_that_is_also_cp932",
                  "\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC\r\n",
                  {QStringLiteral("日本")}},
        ParseCase{"utf8_katakana_without_bom",
                  "\xE3\x82\xAB\xE3\x83\xAB\xE3\x83\x86\r\n",
                  {QStringLiteral("カルテ")}},
        // Without a byte-order mark, UTF-8 whose bytes happen to be valid CP932 is CP932.
        ParseCase{"utf8_without_bom_that_is_also_cp932",
                  "\xE6\x97\xA5\xE6\x9C\xAC",
                  {QStringLiteral("譌･譛ｬ")}},
        ParseCase{"byte_order_mark_only", "\xEF\xBB\xBF", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(ListFileParse, RewritingKeepsTheItems) {
    const QStringList items = listfile::parse(GetParam().bytes);
    EXPECT_EQ(listfile::parse(listfile::serialize(items)), items);
}

TEST(ListFileWrite, Cp932WithCrLfOrUtf8WhenCp932CannotHoldIt) {
    EXPECT_EQ(listfile::serialize({"a", QStringLiteral("漢"), ""}),
              QByteArray("a\r\n\x8a\xbf\r\n\r\n"));
    EXPECT_EQ(listfile::serialize({}), QByteArray());
    EXPECT_EQ(listfile::serialize({QStringLiteral("€1")}), QByteArray("\xEF\xBB\xBF\xE2\x82\xAC"
                                                                      "1\r\n"));
    // The yen sign has a CP932 form that reads back as a backslash; the list keeps it anyway.
    EXPECT_EQ(listfile::parse(listfile::serialize({QStringLiteral("¥100")})),
              QStringList{QStringLiteral("¥100")});
}

TEST(ListFileWrite, RoundTripThroughDisk) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Key1.txt");
    const QStringList items{QStringLiteral("胸部"), "", QStringLiteral("ｶﾙﾃ"), "dup", "dup"};
    QString error;
    ASSERT_TRUE(listfile::write(path, items, &error)) << error.toStdString();
    QStringList read;
    ASSERT_TRUE(listfile::read(path, read));
    EXPECT_EQ(read, items);

    EXPECT_FALSE(listfile::read(dir.filePath("missing.txt"), read));
    EXPECT_TRUE(read.isEmpty());
    EXPECT_FALSE(listfile::write(dir.filePath("no/such/folder/x.txt"), items, &error));
    EXPECT_TRUE(error.contains("x.txt"));
}

TEST(ListFileWrite, Cp932ListReadAndWrittenBackKeepsItsBytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Key1.txt");
    // ﾊｲ, ﾄｳ, "", A: CP932 bytes that are valid UTF-8 too.
    const QByteArray original("\xca\xb2\r\n\xc4\xb3\r\n\r\nA\r\n");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(original);
    }
    QStringList items;
    ASSERT_TRUE(listfile::read(path, items));
    EXPECT_EQ(items, (QStringList{QStringLiteral("ﾊｲ"), QStringLiteral("ﾄｳ"), "", "A"}));
    ASSERT_TRUE(listfile::write(path, items));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), original);
}

} // namespace
