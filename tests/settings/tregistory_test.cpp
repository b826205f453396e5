// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registryfile.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QString& key = TRegistory::KeyPath;

/// Settings that differ from the defaults in every kind of value.
TRegistory customSettings() {
    TRegistory s;
    s.FolderClear = false;
    s.L1Front = QStringLiteral("ID");
    s.HPCode = QStringLiteral("1234");
    s.ScannerDir = QStringLiteral("/scans");
    s.Quality = 95;
    s.PrintDensity = 300.5;
    s.lblName = TLabelLayout::withDefaults(1, 2);
    s.KeyLabel1 = QStringLiteral("部位");
    s.VolNo = QStringLiteral("007");
    s.ShowImage = 3;
    s.DBRegist = false;
    return s;
}

RegistryFile saved(const TRegistory& s) {
    RegistryFile reg;
    s.SaveToRegistry(reg);
    return reg;
}

TEST(TRegistory, DefaultsWhenTheKeyIsMissing) {
    TRegistory s = customSettings();
    RegistryFile empty;
    EXPECT_EQ(s.LoadFromRegistry(empty), TRegistory::LoadResult::NoKey);
    EXPECT_EQ(s.VolNo, QStringLiteral("0"));
    EXPECT_EQ(s.ScannerDir, QDir::homePath());
    EXPECT_EQ(s.Target, QDir::homePath());
    EXPECT_TRUE(s.FolderClear);
    EXPECT_EQ(s.Quality, 80);
    EXPECT_EQ(s.PdfPageWidth, 700);
    EXPECT_EQ(s.PdfPageHeight, 1000);
    EXPECT_DOUBLE_EQ(s.PanelDensity, 76.2);
    EXPECT_EQ(s.lblIdno.left(), 144);
    EXPECT_EQ(s.labelAddress.left(), 232);
    EXPECT_EQ(s.labelAddress.top(), 205);
    EXPECT_EQ(s.lblIdno.fontName(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_EQ(s.lblIdno.bytes()[TLabelLayout::FontNameOffset], 15);
    EXPECT_EQ(s.lblIdno.color(), 0xFF000008u);
    EXPECT_EQ(s.lblIdno.fontSize(), 9);
    EXPECT_EQ(s.lblIdno.charset(), 128);
}

TEST(TRegistory, SavesAll52ValuesInOrderAndReadsThemBack) {
    const TRegistory original = customSettings();
    const RegistryFile reg = saved(original);
    const QStringList names = reg.valueNames(key);
    ASSERT_EQ(names.size(), 52);
    EXPECT_EQ(names.first(), QStringLiteral("FolderClear"));
    EXPECT_EQ(names.at(32), QStringLiteral("lblIdno"));
    EXPECT_EQ(names.last(), QStringLiteral("DBRegist"));
    EXPECT_EQ(reg.value(key, "ThumbStrech")->type(), RegistryType::Dword);
    EXPECT_EQ(reg.value(key, "PrintDensity")->bytes().size(), 8);
    EXPECT_EQ(reg.value(key, "labelIdno")->bytes().size(), 50);
    EXPECT_EQ(reg.value(key, "VolNo")->type(), RegistryType::Sz);

    TRegistory loaded;
    ASSERT_EQ(loaded.LoadFromRegistry(reg), TRegistory::LoadResult::Loaded);
    EXPECT_EQ(loaded.HPCode, QStringLiteral("1234"));
    EXPECT_EQ(loaded.VolNo, QStringLiteral("007"));
    EXPECT_EQ(loaded.KeyLabel1, QStringLiteral("部位"));
    EXPECT_DOUBLE_EQ(loaded.PrintDensity, 300.5);
    EXPECT_EQ(loaded.lblName, original.lblName);
    EXPECT_FALSE(loaded.FolderClear);
    EXPECT_FALSE(loaded.DBRegist);
    EXPECT_EQ(loaded.ShowImage, 3);
}

struct LoadCase {
    const char* name;
    std::function<void(RegistryFile&)> change;
    bool expectDefaults; // every setting back at its default
    std::function<void(const TRegistory&)> check;
};

class TRegistoryLoadRules : public ::testing::TestWithParam<LoadCase> {};

TEST_P(TRegistoryLoadRules, Apply) {
    RegistryFile reg = saved(customSettings());
    GetParam().change(reg);
    TRegistory s;
    QString problem;
    const auto result = s.LoadFromRegistry(reg, &problem);
    if (GetParam().expectDefaults) {
        EXPECT_EQ(result, TRegistory::LoadResult::Rejected);
        EXPECT_FALSE(problem.isEmpty());
        // Values read before the bad one are reset too.
        EXPECT_TRUE(s.FolderClear);
        EXPECT_TRUE(s.L1Front.isEmpty());
        EXPECT_EQ(s.Quality, 80);
        EXPECT_EQ(s.VolNo, QStringLiteral("0"));
    } else {
        EXPECT_EQ(result, TRegistory::LoadResult::Loaded) << problem.toStdString();
    }
    if (GetParam().check) {
        GetParam().check(s);
    }
}

QByteArray bytesOf(const char* text, int size) {
    return QByteArray(text, size);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TRegistoryLoadRules,
    ::testing::Values(
        LoadCase{
            "deleted_integer", [](RegistryFile& r) { r.removeValue(key, "Quality"); }, true, {}},
        LoadCase{"deleted_late_boolean",
                 [](RegistryFile& r) { r.removeValue(key, "ThumbStrech"); },
                 true,
                 {}},
        LoadCase{
            "boolean_as_text",
            [](RegistryFile& r) { r.setValue(key, "WriteDate", RegistryValue::fromString("1")); },
            true,
            {}},
        LoadCase{"float_of_7_bytes",
                 [](RegistryFile& r) {
                     r.setValue(key, "PanelDensity", RegistryValue::fromBinary(QByteArray(7, 'x')));
                 },
                 true,
                 {}},
        LoadCase{"text_as_dword",
                 [](RegistryFile& r) { r.setValue(key, "HPCode", RegistryValue::fromDword(5)); },
                 true,
                 {}},
        LoadCase{"record_of_51_bytes",
                 [](RegistryFile& r) {
                     r.setValue(key, "lblSex", RegistryValue::fromBinary(QByteArray(51, '\0')));
                 },
                 true,
                 {}},
        LoadCase{"record_as_dword",
                 [](RegistryFile& r) { r.setValue(key, "lblSex", RegistryValue::fromDword(1)); },
                 true,
                 {}},
        LoadCase{"deleted_text_reads_empty",
                 [](RegistryFile& r) {
                     r.removeValue(key, "HPCode");
                     r.removeValue(key, "ScannerDir");
                 },
                 false,
                 [](const TRegistory& s) {
                     EXPECT_TRUE(s.HPCode.isEmpty());
                     EXPECT_TRUE(s.ScannerDir.isEmpty()); // empty, not its default
                     EXPECT_EQ(s.Quality, 95);
                     EXPECT_EQ(s.L1Front, QStringLiteral("ID"));
                 }},
        LoadCase{"record_of_10_bytes_overwrites_its_start",
                 [](RegistryFile& r) {
                     r.setValue(key, "lblName",
                                RegistryValue::fromTypedBytes(
                                    RegistryType::None, bytesOf("\x05\0\0\0\x06\0\0\0\0\x01", 10)));
                 },
                 false,
                 [](const TRegistory& s) {
                     const TLabelLayout expected = [] {
                         TLabelLayout l = TLabelLayout::withDefaults(1, 2);
                         l.overwriteStart(bytesOf("\x05\0\0\0\x06\0\0\0\0\x01", 10));
                         return l;
                     }();
                     EXPECT_EQ(s.lblName, expected);
                     EXPECT_EQ(s.lblName.left(), 5);
                     EXPECT_EQ(s.lblName.flag(), 0);
                     EXPECT_EQ(s.lblName.fontSize(), 9); // bytes after the 10th unchanged
                 }},
        LoadCase{"deleted_record_keeps_default",
                 [](RegistryFile& r) { r.removeValue(key, "lblName"); }, false,
                 [](const TRegistory& s) {
                     EXPECT_EQ(s.lblName, TLabelLayout::withDefaults(144, 104));
                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, UnreadableFileGivesDefaultsAndIsKeptBesideTheNewOne) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Tovani/registry.reg");
    QDir().mkpath(dir.filePath("Tovani"));
    const QByteArray broken =
        "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\X]\r\n\"Q\"=dwo";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(broken);
    }
    SettingsFile file(path);
    TRegistory s = customSettings();
    file.load(s);
    EXPECT_EQ(s.Quality, 80);
    EXPECT_FALSE(file.notice().isEmpty());

    s.HPCode = QStringLiteral("99");
    QString error;
    ASSERT_TRUE(file.save(s, &error)) << error.toStdString();
    QFile bad(path + ".bad");
    ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
    EXPECT_EQ(bad.readAll(), broken);

    TRegistory reloaded;
    SettingsFile again(path);
    again.load(reloaded);
    EXPECT_TRUE(again.notice().isEmpty());
    EXPECT_EQ(reloaded.HPCode, QStringLiteral("99"));
}

TEST(SettingsFile, DefaultPathFollowsXdgConfigHome) {
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg-test");
    EXPECT_EQ(SettingsFile::defaultPath(), QStringLiteral("/tmp/cfg-test/Tovani/registry.reg"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFile::defaultPath(), QDir::homePath() + "/.config/Tovani/registry.reg");
}

} // namespace
