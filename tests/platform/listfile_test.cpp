#include "platform/listfile.h"

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
            {"ok", QString(QChar::ReplacementCharacter) + QChar::ReplacementCharacter, "next"}}),
    [](const auto& info) { return std::string(info.param.name); });

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

} // namespace
