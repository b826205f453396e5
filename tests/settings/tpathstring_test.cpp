// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/tpathstring.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct FolderCase {
    const char* name;
    QString base;
    std::array<QString, 4> front;
    std::array<QString, 4> back;
    qint64 patient;
    QString relative;
    QString folder;
};

class PatientFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(PatientFolder, FollowsTheLevelRule) {
    const FolderCase& c = GetParam();
    TPathString path;
    path.BaseFolder = c.base;
    path.Front = c.front;
    path.Back = c.back;
    path.SetNumber(c.patient);
    EXPECT_EQ(path.RelativeFolder(), c.relative);
    EXPECT_EQ(path.Folder(), c.folder);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PatientFolder,
    ::testing::Values(
        FolderCase{"plain", "/charts", {}, {}, 1234567, "/01/23/45/67", "/charts/01/23/45/67"},
        FolderCase{"prefixes_and_suffixes",
                   "/",
                   {"ID", "", "", ""},
                   {"x", "", "_z", ""},
                   98765432,
                   "/ID98x/76/54_z/32",
                   "/ID98x/76/54_z/32"},
        FolderCase{"patient_5", "/charts", {}, {}, 5, "/00/00/00/05", "/charts/00/00/00/05"},
        FolderCase{"patient_1", "/charts", {}, {}, 1, "/00/00/00/01", "/charts/00/00/00/01"},
        FolderCase{
            "patient_99999999", "/charts", {}, {}, 99999999, "/99/99/99/99", "/charts/99/99/99/99"},
        FolderCase{"base_with_trailing_separator",
                   "/charts/",
                   {},
                   {},
                   1,
                   "/00/00/00/01",
                   "/charts/00/00/00/01"},
        FolderCase{"separator_inside_a_prefix_adds_a_level",
                   "/charts",
                   {"A/B", "", "", ""},
                   {},
                   1,
                   "/A/B00/00/00/01",
                   "/charts/A/B00/00/00/01"},
        FolderCase{"number_kept_modulo_10_to_the_8",
                   "/c",
                   {},
                   {},
                   123456789,
                   "/23/45/67/89",
                   "/c/23/45/67/89"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChartFileName, WithAndWithoutTheDate) {
    EXPECT_EQ(chartFileName("1234", 1234567, 2, QDate(2024, 3, 5)),
              "HP1234_1234567_2_2024_3_5.pdf");
    EXPECT_EQ(chartFileName("", 98765432, 0, std::nullopt), "HP_98765432_0.pdf");
    EXPECT_EQ(chartFileName("%1", 123, 7, std::nullopt), "HP%1_123_7.pdf");
    EXPECT_EQ(chartFileName("A", 1, 999, QDate(2024, 12, 31)), "HPA_1_999_2024_12_31.pdf");
}

TEST(TDirFile, FolderOperations) {
    QTemporaryDir dir;
    TDirFile files;
    files.BaseFolder = dir.path();
    files.SetNumber(1234567);
    EXPECT_FALSE(files.Exists("a.pdf"));
    EXPECT_TRUE(files.DeleteIfExists("a.pdf")); // nothing to delete is fine
    ASSERT_TRUE(files.EnsureFolder());
    EXPECT_TRUE(QDir(dir.path() + "/01/23/45/67").exists());
    EXPECT_TRUE(files.EnsureFolder()); // exists already

    QFile pdf(files.FilePath("a.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    pdf.close();
    EXPECT_TRUE(files.Exists("a.pdf"));
    EXPECT_TRUE(files.DeleteIfExists("a.pdf"));
    EXPECT_FALSE(files.Exists("a.pdf"));

    // A level that cannot be created because a file stands in its place.
    QFile blocker(dir.path() + "/blocked");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    files.BaseFolder = dir.path() + "/blocked";
    EXPECT_FALSE(files.EnsureFolder());
}

} // namespace
