#include "app/scannerfolder.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("x");
}

struct FilterCase {
    const char* name;
    bool jpeg, tiff, bitmap, png;
    const char* filter;
};

class TypeFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(TypeFilter, BuiltFromTheTypeSettings) {
    TRegistory s;
    s.JpegType = GetParam().jpeg;
    s.TiffType = GetParam().tiff;
    s.BitmapType = GetParam().bitmap;
    s.PngType = GetParam().png;
    EXPECT_EQ(scannerfolder::BuildTypeFilter(s), QString::fromUtf8(GetParam().filter));
}

INSTANTIATE_TEST_SUITE_P(
    Table, TypeFilter,
    ::testing::Values(
        FilterCase{"all", true, true, true, true,
                   "ファイル形式|*.jpg;*.Jpeg;*.tif;*.tiff;*.bmp;*.png;"},
        FilterCase{"jpeg_and_png", true, false, false, true, "ファイル形式|*.jpg;*.Jpeg;*.png;"},
        FilterCase{"tiff_only", false, true, false, false, "ファイル形式|*.tif;*.tiff;"},
        FilterCase{"none", false, false, false, false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IntakeStart, ChecksTheFolderFirstThenTheFileTypes) {
    QTemporaryDir dir;
    const QString file = dir.filePath("a.jpg");
    touch(file);
    struct Case {
        QString folder;
        bool anyType;
        scannerfolder::IntakeRefusal refusal;
        const char* message;
    };
    using R = scannerfolder::IntakeRefusal;
    const Case cases[] = {
        {dir.path(), true, R::None, ""},
        {dir.path(), false, R::NoFileType, "ファイル形式が指定されていません。"},
        {dir.filePath("gone"), true, R::NoFolder, "指定のフォルダーがありません。"},
        {dir.filePath("gone"), false, R::NoFolder, "指定のフォルダーがありません。"},
        {file, true, R::NoFolder, "指定のフォルダーがありません。"}, // a file is no folder
    };
    for (const Case& c : cases) {
        TRegistory s;
        s.ScannerDir = c.folder;
        s.JpegType = c.anyType;
        s.TiffType = s.BitmapType = s.PngType = false;
        const auto start = scannerfolder::startIntake(s);
        SCOPED_TRACE(c.folder.toStdString() + (c.anyType ? " jpeg" : " no type"));
        EXPECT_EQ(start.refusal, c.refusal);
        EXPECT_EQ(start.message(), QString::fromUtf8(c.message));
        EXPECT_EQ(start.filter,
                  c.refusal == R::None ? scannerfolder::BuildTypeFilter(s) : QString());
    }
}

TEST(ScannerFolder, ListsMatchingPlainFilesByNameIgnoringCase) {
    QTemporaryDir dir;
    for (const char* name :
         {"b.JPG", "a.jpeg", "C.png", "d.txt", ".hidden.jpg", "e.tif", "f.bmp"}) {
        touch(dir.filePath(name));
    }
    QDir(dir.path()).mkdir("sub.jpg");
    QFile::link(dir.filePath("b.JPG"), dir.filePath("link.jpg"));

    const auto masks = scannerfolder::masks("ファイル形式|*.jpg;*.Jpeg;*.png;");
    EXPECT_EQ(masks, (QStringList{"*.jpg", "*.Jpeg", "*.png"}));
    QStringList names;
    for (const auto& path : scannerfolder::listImageFiles(dir.path(), masks)) {
        names << QFileInfo(path).fileName();
    }
    EXPECT_EQ(names, (QStringList{"a.jpeg", "b.JPG", "C.png"}));
}

TEST(ScannerFolder, ClearingKeepsSubfoldersHiddenAndSystemEntries) {
    QTemporaryDir dir;
    touch(dir.filePath("page1.jpg"));
    touch(dir.filePath("readonly.jpg"));
    QFile::setPermissions(dir.filePath("readonly.jpg"), QFile::ReadOwner | QFile::ReadGroup);
    touch(dir.filePath(".hidden"));
    QDir(dir.path()).mkdir("sub");
    touch(dir.filePath("sub/inner.jpg"));
    QFile::link(dir.filePath("sub/inner.jpg"), dir.filePath("link.jpg"));

    int asked = 0;
    const auto result = scannerfolder::clear(dir.path(), [&](const QString&) {
        ++asked;
        return scannerfolder::AfterFailure::Next;
    });
    EXPECT_EQ(result.deleted, 2);
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("page1.jpg")));
    EXPECT_FALSE(QFile::exists(dir.filePath("readonly.jpg")));
    EXPECT_TRUE(QFile::exists(dir.filePath(".hidden")));
    EXPECT_TRUE(QFile::exists(dir.filePath("sub/inner.jpg")));
    EXPECT_TRUE(QFileInfo(dir.filePath("link.jpg")).isSymLink());
}

TEST(ScannerFolder, UndeletableFileAsksAndStopOrNextDecides) {
    for (const auto answer :
         {scannerfolder::AfterFailure::Stop, scannerfolder::AfterFailure::Next}) {
        QTemporaryDir dir;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
            touch(dir.filePath(name));
        }
        QStringList asked;
        const auto result = scannerfolder::clear(
            dir.path(),
            [&](const QString& name) {
                asked << name;
                return answer;
            },
            [](const QString& path) { return !path.endsWith("a.jpg") && QFile::remove(path); });
        EXPECT_EQ(asked, QStringList{"a.jpg"});
        EXPECT_EQ(result.failed, QStringList{"a.jpg"});
        const bool stopped = answer == scannerfolder::AfterFailure::Stop;
        EXPECT_EQ(result.stopped, stopped);
        EXPECT_EQ(QFile::exists(dir.filePath("b.jpg")), stopped); // the rest stays after a stop
        EXPECT_EQ(result.deleted, stopped ? 0 : 2);
    }
}

} // namespace
