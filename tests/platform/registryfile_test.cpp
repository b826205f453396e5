// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registryfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <ctime>
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

TEST(RegistryFile, ValuesKeepTheirPlacesThroughChangesAndRemovals) {
    RegistryFile reg;
    for (int i = 0; i < 10; ++i) {
        reg.setValue(key, QStringLiteral("V%1").arg(i), RegistryValue::fromDword(i));
    }
    reg.setValue(key.toLower(), "v3", RegistryValue::fromDword(33)); // names ignore case
    for (int i = 1; i <= 6; ++i) {
        if (i != 3) {
            reg.removeValue(key, QStringLiteral("v%1").arg(i));
        }
    }
    reg.setValue(key, "V2", RegistryValue::fromDword(22)); // back, at the end
    reg.removeValue(key, "V0");
    reg.removeValue(key, "V0"); // twice: nothing more happens
    const QStringList expected{"V3", "V7", "V8", "V9", "V2"};
    EXPECT_EQ(reg.valueNames(key), expected);
    EXPECT_EQ(reg.value(key, "v3")->dword(), 33u);
    EXPECT_EQ(reg.value(key, "V2")->dword(), 22u);
    EXPECT_EQ(reg.value(key, "V9")->dword(), 9u);
    EXPECT_EQ(reg.value(key, "V1"), nullptr);
    EXPECT_EQ(reg.keys(), QStringList{key});

    RegistryFile reread;
    ASSERT_TRUE(reread.parse(reg.serialize() + "\"v7\"=-\r\n\"V10\"=dword:0000000a\r\n"));
    EXPECT_EQ(reread.valueNames(key), (QStringList{"V3", "V8", "V9", "V2", "V10"}));
    EXPECT_EQ(reread.value(key, "V10")->dword(), 10u);
}

/// Processor seconds of this thread: unlike the clock on the wall, other work on a busy
/// machine does not count.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

/// Processor seconds to parse a file of \p count values in one key, the least of three tries.
double parseSeconds(int count) {
    QByteArray text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\X]\r\n";
    for (int i = 0; i < count; ++i) {
        text +=
            QStringLiteral("\"Value%1\"=dword:%2\r\n").arg(i).arg(i, 8, 16, QChar(u'0')).toUtf8();
    }
    double fastest = 1e9;
    for (int attempt = 0; attempt < 3; ++attempt) {
        RegistryFile reg;
        const double start = threadSeconds();
        EXPECT_TRUE(reg.parse(text));
        fastest = std::min(fastest, threadSeconds() - start);
        EXPECT_EQ(reg.valueNames("HKEY_CURRENT_USER\\X").size(), count);
    }
    return fastest;
}

TEST(RegistryFile, LoadingGrowsInProportionToTheValues) {
    // A settings file that other versions or tools filled with values of their own must load
    // in time that grows with its size: four times the values, about four times the time (a
    // search through the values for each one read made it sixteen).
    const double small = parseSeconds(2500);
    const double large = parseSeconds(10000);
    EXPECT_LT(large, 8 * std::max(small, 1e-3))
        << "2,500 values: " << small << " s, 10,000 values: " << large << " s";
}

} // namespace
