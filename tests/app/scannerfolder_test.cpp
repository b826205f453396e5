// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/scannerfolder.h"
#include "settings/tregistory.h"
#include "support/desktoptrash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
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

/// A scanner folder whose files are listed as a page list lists them.
class PageMoves : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(scanner())); }

    QString scanner() const { return m_dir.filePath("scanner"); }
    QString inScanner(const QString& name) const { return QDir(scanner()).filePath(name); }

    /// Writes \p bytes as a new file \p name (replacing one of that name, as a scanner does).
    QString write(const QString& name, const QByteArray& bytes) {
        QFile file(inScanner(".writing"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        EXPECT_EQ(::rename(QFile::encodeName(file.fileName()).constData(),
                           QFile::encodeName(inScanner(name)).constData()),
                  0);
        return inScanner(name);
    }
    scannerfolder::IdentifiedFile listed(const QString& name) const {
        const auto identity = scannerfolder::identify(inScanner(name));
        EXPECT_TRUE(identity.has_value()) << name.toStdString();
        return {inScanner(name), identity.value_or(scannerfolder::FileIdentity())};
    }
    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }
    /// What the next intake takes.
    QStringList intakeNames() const {
        QStringList names;
        for (const auto& path : scannerfolder::listImageFiles(scanner(), {"*.jpg"})) {
            names << QFileInfo(path).fileName();
        }
        return names;
    }
    static scannerfolder::AfterFailure recordFailure(QStringList& failures, const QString& name) {
        failures << name;
        return scannerfolder::AfterFailure::Next;
    }

    QTemporaryDir m_dir;
};

TEST_F(PageMoves, RemovedPagesGoToTheTrashOnlyWhileTheyAreTheListedFiles) {
    const DesktopTrash trash(m_dir.path());
    for (int n = 1; n <= 4; ++n) {
        write(QString("%1.jpg").arg(n), "page " + QByteArray::number(n));
    }
    const std::vector<scannerfolder::IdentifiedFile> removed{listed("1.jpg"), listed("2.jpg"),
                                                             listed("3.jpg"), listed("4.jpg")};
    write("2.jpg", "a new scan under the name of page 2");
    QFile::remove(inScanner("3.jpg"));
    write("5.jpg", "a new scan, never listed");

    QStringList failures;
    const auto result = scannerfolder::trashRemoved(
        removed, [&](const QString& name) { return recordFailure(failures, name); });
    EXPECT_EQ(result.trashed, 2);
    EXPECT_EQ(result.held, 0);
    EXPECT_EQ(failures, QStringList());
    EXPECT_EQ(trash.files(), (QStringList{"1.jpg", "4.jpg"}));
    EXPECT_EQ(trash.contents("4.jpg"), "page 4");
    // Restoring from the trash puts a page back where it was, not into the holding folder.
    EXPECT_EQ(trash.origin("1.jpg"), inScanner("1.jpg"));
    EXPECT_EQ(intakeNames(), (QStringList{"2.jpg", "5.jpg"}));
    EXPECT_EQ(contents(inScanner("2.jpg")), "a new scan under the name of page 2");

    // A second page 1 goes in beside the first.
    write("1.jpg", "page 1 again");
    scannerfolder::trashRemoved({listed("1.jpg")},
                                [](const QString&) { return scannerfolder::AfterFailure::Next; });
    ASSERT_EQ(trash.files().size(), 3);
    for (const auto& name : trash.files()) {
        if (trash.contents(name) == "page 1 again") {
            EXPECT_EQ(trash.origin(name), inScanner("1.jpg"));
        }
    }
    EXPECT_EQ(QDir(inScanner(scannerfolder::HoldingFolderName))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

TEST_F(PageMoves, WithoutATrashRemovedPagesWaitInAHiddenFolderIntakeNeverReads) {
    const DesktopTrash trash(m_dir.path());
    trash.makeUnavailable();
    write("1.jpg", "first page 1");
    EXPECT_EQ(scannerfolder::trashRemoved({listed("1.jpg")}, {}).held, 1);
    write("1.jpg", "second page 1");
    EXPECT_EQ(scannerfolder::trashRemoved({listed("1.jpg")}, {}).held, 1);
    const QDir holding(inScanner(scannerfolder::HoldingFolderName));
    EXPECT_EQ(contents(holding.filePath("1.jpg")), "first page 1");
    EXPECT_EQ(contents(holding.filePath("1_2.jpg")), "second page 1");
    EXPECT_EQ(intakeNames(), QStringList());
    EXPECT_EQ(trash.files(), QStringList());
}

TEST_F(PageMoves, PagesNotWrittenAreSetAsideWithoutReplacingAnything) {
    const QDir notSaved(inScanner(scannerfolder::NotSavedFolderName));
    write("1.jpg", "first page 1");
    EXPECT_EQ(scannerfolder::setAsideNotSaved({listed("1.jpg")}, {}).setAside, 1);
    write("1.jpg", "second page 1");
    write("2.jpg", "page 2");
    const std::vector<scannerfolder::IdentifiedFile> pages{listed("1.jpg"), listed("2.jpg")};
    write("2.jpg", "a new scan under the name of page 2");
    EXPECT_EQ(scannerfolder::setAsideNotSaved(pages, {}).setAside, 1);
    EXPECT_EQ(contents(notSaved.filePath("1.jpg")), "first page 1");
    EXPECT_EQ(contents(notSaved.filePath("1_2.jpg")), "second page 1");
    EXPECT_EQ(intakeNames(), QStringList{"2.jpg"});
    EXPECT_EQ(contents(inScanner("2.jpg")), "a new scan under the name of page 2");

    // A folder of that name that is a link elsewhere is not used: the page stays, said so.
    QTemporaryDir other;
    ASSERT_TRUE(QDir(notSaved).removeRecursively());
    ASSERT_TRUE(QFile::link(other.path(), notSaved.path()));
    write("3.jpg", "page 3");
    QStringList failures;
    const auto result = scannerfolder::setAsideNotSaved(
        {listed("3.jpg")}, [&](const QString& name) { return recordFailure(failures, name); });
    EXPECT_EQ(result.setAside, 0);
    EXPECT_EQ(failures, QStringList{"3.jpg"});
    EXPECT_TRUE(QDir(other.path()).isEmpty());
    EXPECT_EQ(contents(inScanner("3.jpg")), "page 3");
}

/// Another process that drops scans under the names s0.jpg .. s3.jpg as fast as it can, each
/// written under a hidden name and renamed over the last, until the file "stop" appears beside
/// the folder; it then writes "last", the name and content of the last scan under each name.
class ScanWriter {
public:
    explicit ScanWriter(const QString& folder) : m_folder(folder) {
        m_process.start("perl", {"-e", R"(
            my $dir = shift;
            open(my $ready, '>', "$dir/../ready"); close($ready);
            my %last; my $i = 0;
            until (-e "$dir/../stop") {
                my $name = 's' . ($i % 4) . '.jpg';
                open(my $out, '>', "$dir/.scan.part") or die; print $out "scan $i"; close($out);
                rename("$dir/.scan.part", "$dir/$name") or die; $last{$name} = "scan $i"; $i++;
            }
            open(my $log, '>', "$dir/../last"); print $log "$_=$last{$_}\n" for sort keys %last;
        )",
                                 folder});
    }
    bool waitUntilRunning() {
        for (int n = 0; n < 500 && !QFile::exists(m_folder + "/../ready"); ++n) {
            QThread::msleep(10);
        }
        return QFile::exists(m_folder + "/../ready");
    }
    /// Stops the writer; the last scan under each name.
    QMap<QString, QByteArray> stop() {
        QFile(m_folder + "/../stop").open(QIODevice::WriteOnly);
        m_process.waitForFinished(10000);
        QMap<QString, QByteArray> last;
        QFile log(m_folder + "/../last");
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : log.readAll().split('\n')) {
                if (const qsizetype eq = line.indexOf('='); eq > 0) {
                    last.insert(QString::fromUtf8(line.left(eq)), line.mid(eq + 1));
                }
            }
        }
        return last;
    }

private:
    QString m_folder;
    QProcess m_process;
};

enum class MoveKind { Trash, SetAside };

class PageMovesRacing : public PageMoves, public ::testing::WithParamInterface<MoveKind> {};

// The page list names s0.jpg .. s3.jpg, one after another, while another process keeps writing
// new scans under the same names: whatever the order of events, only a listed file ever leaves
// the folder, and the newest scan under each name stays where intake reads it.
TEST_P(PageMovesRacing, AnotherProcessWritingIntoTheFolderNeverHasAScanMoved) {
    const DesktopTrash trash(m_dir.path());
    ScanWriter writer(scanner());
    ASSERT_TRUE(writer.waitUntilRunning());
    int moved = 0;
    for (int round = 0; round < 300; ++round) {
        // The listed file: a page of ours, renamed over whatever the writer left under the name.
        const QString part = inScanner(".listed.part");
        QFile file(part);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("listed " + QByteArray::number(round));
        file.close();
        const auto identity = scannerfolder::identify(part);
        ASSERT_TRUE(identity);
        const QString name = inScanner(QString("s%1.jpg").arg(round % 4));
        ASSERT_EQ(
            ::rename(QFile::encodeName(part).constData(), QFile::encodeName(name).constData()), 0);
        const std::vector<scannerfolder::IdentifiedFile> files{{name, *identity}};
        const auto result = GetParam() == MoveKind::Trash
                                ? scannerfolder::trashRemoved(files, {})
                                : scannerfolder::setAsideNotSaved(files, {});
        ASSERT_EQ(result.failed, QStringList());
        moved += result.trashed + result.held + result.setAside;
    }
    QThread::msleep(50); // the writer alone has the last word under every name
    const QMap<QString, QByteArray> last = writer.stop();
    ASSERT_EQ(last.size(), 4);

    const QDir moves(GetParam() == MoveKind::Trash ? m_dir.filePath("data/Trash/files")
                                                   : inScanner(scannerfolder::NotSavedFolderName));
    const QStringList movedNames = moves.entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(movedNames.size(), moved);
    EXPECT_GT(moved, 0);
    for (const auto& name : movedNames) {
        EXPECT_TRUE(contents(moves.filePath(name)).startsWith("listed ")) << name.toStdString();
    }
    QList<QByteArray> visible;
    for (const auto& name : intakeNames()) {
        visible << contents(inScanner(name));
        EXPECT_TRUE(visible.last().startsWith("scan ")) << name.toStdString();
    }
    for (const QByteArray& scan : last) {
        EXPECT_TRUE(visible.contains(scan)) << scan.toStdString();
    }
    // Nothing is left behind under a hidden name.
    for (const QDir& folder : {QDir(scanner()), QDir(inScanner(scannerfolder::HoldingFolderName)),
                               QDir(inScanner(scannerfolder::NotSavedFolderName))}) {
        EXPECT_EQ(folder.entryList({"*.moving"}, QDir::Files | QDir::Hidden), QStringList());
    }
}

INSTANTIATE_TEST_SUITE_P(Moves, PageMovesRacing,
                         ::testing::Values(MoveKind::Trash, MoveKind::SetAside),
                         [](const auto& info) {
                             return info.param == MoveKind::Trash ? "ToTheTrash" : "SetAside";
                         });

} // namespace
