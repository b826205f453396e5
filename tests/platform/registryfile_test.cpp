#include "platform/registryfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString key = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tovani\\PeloraFileBasic14");

TEST(RegistryFile, EveryTypeSurvivesSaveAndLoad) {
    RegistryFile reg;
    QByteArray record(50, '\0');
    for (int i = 0; i < record.size(); ++i) {
        record[i] = static_cast<char>(i * 7);
    }
    reg.setValue(key, "Flag", RegistryValue::fromDword(1));
    reg.setValue(key, "Negative", RegistryValue::fromDword(0xFFFFFFFE));
    reg.setValue(key, "Folder", RegistryValue::fromString(QStringLiteral("C:\\scans \"A\" 漢字")));
    reg.setValue(key, "Empty", RegistryValue::fromString(QString()));
    reg.setValue(key, "MultiLine", RegistryValue::fromString(QStringLiteral("a\r\nb")));
    reg.setValue(key, "Record", RegistryValue::fromBinary(record));
    reg.setValue(key, "Untyped", RegistryValue::fromTypedBytes(RegistryType::None, "\x01\x02"));
    reg.setValue(key, "EmptyBinary", RegistryValue::fromBinary({}));

    QTemporaryDir dir;
    const QString path = dir.filePath("registry.reg");
    ASSERT_TRUE(reg.save(path));

    RegistryFile loaded;
    ASSERT_EQ(loaded.load(path), RegistryFile::LoadStatus::Loaded)
        << loaded.loadError().toStdString();
    EXPECT_EQ(loaded.valueNames(key), reg.valueNames(key));
    for (const auto& name : reg.valueNames(key)) {
        ASSERT_NE(loaded.value(key, name), nullptr) << name.toStdString();
        EXPECT_EQ(*loaded.value(key, name), *reg.value(key, name)) << name.toStdString();
    }
    EXPECT_EQ(loaded.value(key, "Negative")->dword(), 0xFFFFFFFEu);
    EXPECT_EQ(loaded.value(key, "missing"), nullptr);
    EXPECT_EQ(loaded.value("HKEY_CURRENT_USER\\Other", "Flag"), nullptr);
}

TEST(RegistryFile, WritesTheExportFormat) {
    RegistryFile reg;
    reg.setValue(key, "Quality", RegistryValue::fromDword(80));
    reg.setValue(key, "Target", RegistryValue::fromString("C:\\"));
    reg.setValue(key, "Raw", RegistryValue::fromTypedBytes(RegistryType::None, "\xab"));
    reg.setValue(key, "Quality", RegistryValue::fromDword(10)); // keeps its place
    EXPECT_EQ(reg.serialize(),
              QByteArray("Windows Registry Editor Version 5.00\r\n\r\n"
                         "[HKEY_CURRENT_USER\\Software\\Tovani\\PeloraFileBasic14]\r\n"
                         "\"Quality\"=dword:0000000a\r\n"
                         "\"Target\"=\"C:\\\\\"\r\n"
                         "\"Raw\"=hex(0):ab\r\n"));
}

TEST(RegistryFile, ReadsAWindowsUtf16Export) {
    const QString text =
        QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Tovani\\PeloraFileBasic14]\r\n"
                       "\"KeyLabel1\"=\"部位\"\r\n"
                       "\"PrintDensity\"=hex:00,00,00,00,00,c0,82,\\\r\n"
                       "  40\r\n"
                       "\"ImSize\"=dword:00000002\r\n");
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    RegistryFile reg;
    QString error;
    ASSERT_TRUE(reg.parse(bytes, &error)) << error.toStdString();
    EXPECT_EQ(reg.value(key, "KeyLabel1")->text(), QStringLiteral("部位"));
    EXPECT_EQ(reg.value(key, "PrintDensity")->bytes(), QByteArray("\0\0\0\0\0\xc0\x82\x40", 8));
    EXPECT_EQ(reg.value(key, "imsize")->dword(), 2u); // names compare without regard to case
}

struct BadCase {
    const char* name;
    QByteArray bytes;
    int line;
};

class RegistryFileRejects : public ::testing::TestWithParam<BadCase> {};

TEST_P(RegistryFileRejects, BrokenFiles) {
    RegistryFile reg;
    QString error;
    EXPECT_FALSE(reg.parse(GetParam().bytes, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("line %1:").arg(GetParam().line)))
        << error.toStdString();
    EXPECT_TRUE(reg.keys().isEmpty());
}

const QByteArray head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, RegistryFileRejects,
    ::testing::Values(BadCase{"no_header", "[HKEY_CURRENT_USER\\X]\r\n", 1},
                      BadCase{"empty_file", "", 1},
                      BadCase{"truncated_dword", head + "\"A\"=dwo", 4},
                      BadCase{"dword_too_long", head + "\"A\"=dword:123456789", 4},
                      BadCase{"unclosed_string", head + "\"A\"=\"abc", 4},
                      BadCase{"bad_hex_byte", head + "\"A\"=hex:01,zz", 4},
                      BadCase{"cut_off_continuation", head + "\"A\"=hex:01,\\", 4},
                      BadCase{"value_before_key", "REGEDIT4\r\n\"A\"=dword:1\r\n", 2},
                      BadCase{"garbage", head + "\x01\x02\x03", 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegistryFile, LoadTellsMissingFromUnreadable) {
    QTemporaryDir dir;
    RegistryFile reg;
    EXPECT_EQ(reg.load(dir.filePath("none.reg")), RegistryFile::LoadStatus::Missing);
    QFile bad(dir.filePath("bad.reg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\X]\r\n\"Q\"=dwo");
    bad.close();
    EXPECT_EQ(reg.load(bad.fileName()), RegistryFile::LoadStatus::Unreadable);
    EXPECT_TRUE(reg.loadError().contains("bad.reg"));
}

} // namespace
