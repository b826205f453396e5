// SPDX-License-Identifier: GPL-3.0-or-later
// The page list as the operator uses it: intake from the scanner folder and from a file
// dialog, import, scanning, deletion, dragging, captions, clearing the scanner folder, the
// patient check and the thumbnail options.

#include "app/keywordpanel.h"
#include "app/pageworkspace.h"
#include "app/patientcheckview.h"
#include "app/tmainform.h"
#include "app/tpagelistview.h"
#include "app/warningdialogs.h"
#include "index/chartindexschema.h"
#include "settings/tregistory.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"
#include "support/rawnamedfiles.h"
#include "support/testimages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

namespace {

FileChoice chosen(const QStringList& files, int filter = 0) {
    FileChoice choice;
    choice.accepted = true;
    choice.files = files;
    choice.selectedFilterIndex = filter;
    return choice;
}

} // namespace

class IntakeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;
    std::unique_ptr<TMainForm> m_form;

    QString scanner() const { return m_dir->filePath("scanner"); }
    QString scan(const QString& name) const { return QDir(scanner()).filePath(name); }

    void writePage(const QString& path, int width = 120, int height = 160) {
        QVERIFY2(testimages::save(testimages::page(width, height), path), qPrintable(path));
    }
    void writeBytes(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void trigger(TMainForm::Command which) {
        QAction* a = m_form->command(which);
        QVERIFY(a);
        a->trigger();
        m_form->workspace().waitForThumbnails();
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(scanner());
        m_prompts = FakePrompts();
        QString error;
        QVERIFY(chartindex::createEmptyIndex(m_dir->filePath(chartindex::fileName), &error));
        m_form = startMainWindow({m_dir->path(), {}, &m_prompts, &m_opener});
        m_form->settings().ScannerDir = scanner();
    }
    void cleanup() { m_form.reset(); }

    void scannerIntakeTakesMatchingFilesByName() {
        for (const char* name : {"b.JPG", "a.jpeg", "c.png", "e.tif", "f.bmp"}) {
            writePage(scan(name));
        }
        writeBytes(scan("d.txt"), "text");
        writeBytes(scan(".hidden.jpg"), "x");
        QDir(scanner()).mkdir("sub.jpg");
        m_form->idEdit()->setText("123");
        m_form->settings().VolNo = "7";
        m_form->settings().TiffType = false;

        trigger(TMainForm::Command::ScannerIntake);
        QCOMPARE(pageNames(*m_form), (QStringList{"a.jpeg", "b.JPG", "c.png", "f.bmp"}));
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::PageCount), QStringLiteral("4"));
        QCOMPARE(m_form->idEdit()->text(), QString());
        QCOMPARE(m_form->volNoEdit()->text(), QStringLiteral("7"));
        QCOMPARE(m_form->selectedPageIndex(), 0);
        QCOMPARE(m_form->pageListView()->count(), 4);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(m_form->workspace().pages().at(i).ImageIndex >= 0);
        }
        QCOMPARE(m_form->workspace().thumbnailCount(), 4);
    }

    void namesOutsideTheFileNameEncodingAreReported() {
        writePage(scan("a.jpg"));
        // Latin-1 and code page 932 bytes, as copied from another system's share.
        RawNamedFiles copied;
        for (const QByteArray& name :
             {QByteArray("caf\xe9.jpg"), QByteArray("\x8a\xb3\x8e\xd2.jpg"),
              QByteArray("note\xe9.txt")}) {
            QVERIFY(copied.create(scanner(), name));
        }
        // As the operator starts it: a click on the tool button.
        auto* toolBar = m_form->findChild<QToolBar*>("ToolBar");
        QVERIFY(toolBar);
        QWidget* button =
            toolBar->widgetForAction(m_form->command(TMainForm::Command::ScannerIntake));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        m_form->workspace().waitForThumbnails();
        QCOMPARE(pageNames(*m_form), QStringList{"a.jpg"});
        QVERIFY(m_prompts.shownDialogs.contains("UnreachableFiles"));
        auto* report = m_form->findChild<TFileListWarning*>("UnreachableFiles");
        QVERIFY(report);
        const QStringList names = report->names();
        QCOMPARE(names.size(), 2); // the text file is no page
        QVERIFY(names.at(0).endsWith(".jpg") && names.at(1).endsWith(".jpg"));
    }

    void intakeRefusals_data() {
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<bool>("anyType");
        QTest::addColumn<QString>("message");
        QTest::newRow("no file type")
            << true << false << QStringLiteral("ファイル形式が指定されていません。");
        QTest::newRow("no scanner folder")
            << false << true << QStringLiteral("指定のフォルダーがありません。");
    }
    void intakeRefusals() {
        QFETCH(bool, folderExists);
        QFETCH(bool, anyType);
        QFETCH(QString, message);
        writePage(scan("a.jpg"));
        trigger(TMainForm::Command::ScannerIntake);
        QCOMPARE(pageNames(*m_form), QStringList{"a.jpg"});
        TRegistory& s = m_form->settings();
        s.JpegType = s.TiffType = s.BitmapType = s.PngType = anyType;
        if (!folderExists) {
            s.ScannerDir = m_dir->filePath("gone");
        }
        for (const auto command :
             {TMainForm::Command::ScannerIntake, TMainForm::Command::FolderIntake}) {
            m_form->idEdit()->setText("55");
            trigger(command);
            QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message), message);
            QCOMPARE(pageNames(*m_form), QStringList{"a.jpg"}); // unchanged
            QCOMPARE(m_form->idEdit()->text(), QString());      // emptied all the same
        }
        QVERIFY(m_prompts.fileDialogs.isEmpty());
    }

    void addModeSkipsNamesAlreadyListed() {
        writePage(scan("a.jpg"));
        trigger(TMainForm::Command::ScannerIntake);
        writePage(scan("a.JPG"));
        writePage(scan("b.jpg"));
        trigger(TMainForm::Command::AddScannerIntake);
        QCOMPARE(pageNames(*m_form), (QStringList{"a.jpg", "a.JPG", "b.jpg"}));
        trigger(TMainForm::Command::AddScannerIntake);
        QCOMPARE(pageNames(*m_form), (QStringList{"a.jpg", "a.JPG", "b.jpg"}));
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::PageCount), QStringLiteral("3"));
    }

    void folderIntake_data() {
        QTest::addColumn<int>("sequence");
        QTest::addColumn<QStringList>("order");
        // The dialog lists the files in the order they were picked.
        QTest::newRow("sequence 0 follows the given order")
            << 0 << QStringList{"x.jpg", "y.jpg", "z.jpg"};
        QTest::newRow("sequence 1 reverses it") << 1 << QStringList{"z.jpg", "y.jpg", "x.jpg"};
    }
    void folderIntake() {
        QFETCH(int, sequence);
        QFETCH(QStringList, order);
        for (const char* name : {"x.jpg", "y.jpg", "z.jpg"}) {
            writePage(scan(name));
        }
        m_form->settings().Sequence = sequence;
        m_prompts.fileChoices.enqueue(chosen({scan("x.jpg"), scan("y.jpg"), scan("z.jpg")}));
        trigger(TMainForm::Command::FolderIntake);
        QCOMPARE(pageNames(*m_form), order);
        QCOMPARE(m_prompts.fileDialogs.last().folder, scanner());
        QCOMPARE(m_prompts.fileDialogs.last().filter,
                 QStringLiteral("ファイル形式|*.jpg;*.Jpeg;*.tif;*.tiff;*.bmp;*.png;"));
    }

    void folderIntakeRefusals() {
        writePage(scan("a.jpg"));
        trigger(TMainForm::Command::ScannerIntake);
        QDir().mkpath(m_dir->filePath("elsewhere"));
        writePage(m_dir->filePath("elsewhere/b.jpg"));

        m_prompts.fileChoices.enqueue(chosen({m_dir->filePath("elsewhere/b.jpg")}));
        trigger(TMainForm::Command::FolderIntake);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("読み込みフォルダーの指定はキャンセルされました。"));
        m_prompts.fileChoices.enqueue(FileChoice{});
        trigger(TMainForm::Command::FolderIntake);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("読み込みファイルの指定はキャンセルされました。"));
        m_prompts.fileChoices.enqueue(chosen({}));
        trigger(TMainForm::Command::FolderIntake);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("ファイルの指定がされていません。"));
        QCOMPARE(pageNames(*m_form), QStringList{"a.jpg"});
    }

    void unloadablePagesStayUsable() {
        writePage(scan("1.jpg"));
        writeBytes(scan("2.jpg"), "not an image");
        writePage(scan("3.png"));
        trigger(TMainForm::Command::ScannerIntake);
        const PageList& pages = m_form->workspace().pages();
        QCOMPARE(pages.count(), 3);
        QCOMPARE(pages.at(1).ImageIndex, -1);
        QVERIFY(!m_form->pageListView()->item(1)->icon().isNull()); // the placeholder
        emit m_form->pageListView()->pageDropped(1, -1);            // moved to the end
        QCOMPARE(pageNames(*m_form), (QStringList{"1.jpg", "3.png", "2.jpg"}));
    }

    void deletingTwiceDeletesTheFollowingPage() {
        for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) {
            writePage(scan(name));
        }
        trigger(TMainForm::Command::ScannerIntake);
        QListWidget* view = m_form->pageListView();
        const QRect second = view->visualItemRect(view->item(1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(m_form->selectedPageIndex(), 1);
        trigger(TMainForm::Command::DeletePage);
        trigger(TMainForm::Command::DeletePage);
        QCOMPARE(pageNames(*m_form), (QStringList{"1.jpg", "4.jpg"}));
        QCOMPARE(view->count(), 2);
        QCOMPARE(view->item(1)->toolTip(), scan("4.jpg"));
        trigger(TMainForm::Command::DeletePage);
        QCOMPARE(pageNames(*m_form), QStringList{"1.jpg"}); // index 1 is gone: nothing happens
    }

    void draggingAndCaptions() {
        for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) {
            writePage(scan(name));
        }
        trigger(TMainForm::Command::ScannerIntake);
        TPageListView* view = m_form->pageListView();
        emit view->pageDropped(0, 2);
        QCOMPARE(pageNames(*m_form), (QStringList{"2.jpg", "1.jpg", "3.jpg", "4.jpg"}));
        emit view->pageDropped(3, 1);
        QCOMPARE(pageNames(*m_form), (QStringList{"2.jpg", "4.jpg", "1.jpg", "3.jpg"}));

        emit view->captionEdited(1, QStringLiteral("abcdefghijklmnopqrst"));
        QCOMPARE(m_form->workspace().pages().at(1).Shiori, QStringLiteral("abcdefghijklmnopqr"));
        QCOMPARE(view->item(1)->text(), QStringLiteral("abcdefghijklmnopqr"));
        emit view->pageDropped(1, -1);
        QCOMPARE(view->item(3)->text(),
                 QStringLiteral("abcdefghijklmnopqr")); // caption moves along
        QCOMPARE(view->item(1)->text(), QString());
    }

    void clearingTheScannerFolderOnRequest() {
        writePage(scan("1.jpg"));
        writePage(scan("2.jpg"));
        writeBytes(scan(".keep"), "hidden");
        QDir(scanner()).mkdir("sub");
        trigger(TMainForm::Command::ScannerIntake);

        m_prompts.answerNextDialog(QDialog::Rejected);
        trigger(TMainForm::Command::ClearScannerFolder);
        QVERIFY(QFile::exists(scan("1.jpg")));
        QCOMPARE(m_form->workspace().pages().count(), 2);

        m_prompts.answerNextDialog(QDialog::Accepted);
        trigger(TMainForm::Command::ClearScannerFolder);
        QCOMPARE(m_prompts.shownDialogs, (QStringList{"DeleteWarningForm", "DeleteWarningForm"}));
        QVERIFY(!QFile::exists(scan("1.jpg")));
        QVERIFY(!QFile::exists(scan("2.jpg")));
        QVERIFY(QFile::exists(scan(".keep")));
        QVERIFY(QFileInfo(scan("sub")).isDir());
        QCOMPARE(m_form->workspace().pages().count(), 0);
        QCOMPARE(m_form->pageListView()->count(), 0);
    }

    void importCopiesIntoTheScannerFolder() {
        const QString source = m_dir->filePath("camera");
        QDir().mkpath(source);
        writePage(source + "/p1.jpg", 50, 50);
        writePage(scan("p2.jpg"), 70, 70);
        writePage(source + "/p2.jpg", 60, 60);
        m_prompts.fileChoices.enqueue(
            chosen({source + "/p1.jpg", source + "/p2.jpg", scan("p2.jpg")}));
        trigger(TMainForm::Command::FileImport);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("インポート完了（3 件）"));
        QCOMPARE(m_form->settings().FileOpenDir, source);
        QCOMPARE(QImage(scan("p1.jpg")).size(), QSize(50, 50));
        QCOMPARE(QImage(scan("p2.jpg")).size(),
                 QSize(70, 70)); // neither replaced nor emptied by itself
        QCOMPARE(QImage(scan("p2_2.jpg")).size(), QSize(60, 60)); // the copy under a free name
        QVERIFY(m_form->workspace().pages().isEmpty());
        QVERIFY(m_prompts.fileDialogs.last().filter.startsWith("JPEG|*.jpg;*.jpeg;|BITMAP|"));

        m_prompts.fileChoices.enqueue(chosen({m_dir->filePath("missing.jpg")}));
        trigger(TMainForm::Command::FileImport);
        QCOMPARE(m_prompts.errors.size(), 1); // the general error report
        QVERIFY(m_prompts.errors.first().contains("missing.jpg"));
    }

    void scannedPageIsSavedToAFile() {
        m_prompts.dialogAnswers.enqueue([](QDialog& dialog) { // the source selection
            auto* devices = dialog.findChild<QListWidget*>("devices");
            if (!devices || devices->count() == 0) {
                return int(QDialog::Rejected);
            }
            devices->setCurrentRow(0);
            return int(QDialog::Accepted);
        });
        trigger(TMainForm::Command::ScanSelect);
        QVERIFY(m_form->command(TMainForm::Command::ScanAcquire)->isEnabled());

        m_prompts.answerNextDialog(QDialog::Accepted); // the scanner's options as they are
        m_prompts.fileChoices.enqueue(chosen({scan("scanned.png")}, 3));
        trigger(TMainForm::Command::ScanAcquire);
        QVERIFY(QFile::exists(scan("scanned.png")));
        QVERIFY(!QImage(scan("scanned.png")).isNull());

        m_prompts.answerNextDialog(QDialog::Accepted);
        m_prompts.fileChoices.enqueue(
            chosen({scan("second.png")}, 0)); // JPEG filter: extension follows it
        trigger(TMainForm::Command::ScanAcquire);
        QVERIFY(QFile::exists(scan("second.jpg")));
        QVERIFY(m_form->workspace().pages().isEmpty()); // the page list is not changed
    }

    void patientCheckShowsTheFirstTwoPages() {
        writePage(scan("1.jpg"));
        trigger(TMainForm::Command::ScannerIntake);
        m_form->pageControl()->setCurrentIndex(int(TMainForm::Tab::PatientCheck));
        QVERIFY(!m_form->patientCheck()->leftArea()->pixmap().isNull());
        QVERIFY(m_form->patientCheck()->rightArea()->isHidden());

        writePage(scan("2.jpg"));
        m_form->pageControl()->setCurrentIndex(int(TMainForm::Tab::PageCheck));
        trigger(TMainForm::Command::AddScannerIntake);
        m_form->pageControl()->setCurrentIndex(int(TMainForm::Tab::PatientCheck));
        QVERIFY(!m_form->patientCheck()->rightArea()->isHidden());

        writeBytes(scan("1.jpg"), "broken now");
        m_form->pageControl()->setCurrentIndex(int(TMainForm::Tab::PageCheck));
        m_form->pageControl()->setCurrentIndex(int(TMainForm::Tab::PatientCheck));
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("サポートしていないファイル形式があります。"));
        QFile::remove(scan("1.jpg"));
        m_form->pageControl()->setCurrentIndex(int(TMainForm::Tab::PageCheck));
        m_form->pageControl()->setCurrentIndex(int(TMainForm::Tab::PatientCheck));
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("ファイルを開くことができません。"));
    }

    void patientCheckAreasSplitTheTab() {
        PatientCheckView view;
        view.resize(701, 500);
        view.show();
        QCOMPARE(view.leftArea()->geometry(), QRect(1, 1, 348, 498));
        QCOMPARE(view.rightArea()->geometry(), QRect(351, 1, 348, 498));
    }

    void readSettingsRebuildOnlyForSizeOrStretch() {
        writePage(scan("1.jpg"));
        trigger(TMainForm::Command::ScannerIntake);
        QCOMPARE(m_form->workspace().thumbnailSide(), 64);

        auto answer = [](const char* control) {
            return [control](QDialog& dialog) {
                if (auto* radio = dialog.findChild<QRadioButton*>(control)) {
                    radio->setChecked(true);
                } else if (auto* box = dialog.findChild<QCheckBox*>(control)) {
                    box->setChecked(!box->isChecked());
                }
                QMetaObject::invokeMethod(&dialog, "onSetClicked");
                return dialog.result();
            };
        };
        const int before = m_form->workspace().thumbnailCount();
        m_prompts.dialogAnswers.enqueue(answer("TiffBox"));
        trigger(TMainForm::Command::ReadSettings);
        QCOMPARE(m_form->workspace().thumbnailCount(), before); // file types alone: no rebuild

        m_prompts.dialogAnswers.enqueue(answer("ThumbCheck"));
        trigger(TMainForm::Command::ReadSettings);
        m_form->workspace().waitForThumbnails();
        QVERIFY(m_form->settings().ThumbStrech);
        QCOMPARE(m_form->workspace().thumbnailCount(), 1); // rebuilt: the list was reset
        QCOMPARE(m_form->workspace().pages().at(0).ImageIndex, 0);
    }
};

int main(int argc, char** argv) {
    // The scanner library reads its configuration once, when it is first loaded: only the
    // virtual test scanner is configured.
    QTemporaryDir saneConfig;
    QFile conf(saneConfig.filePath("dll.conf"));
    if (!conf.open(QIODevice::WriteOnly)) {
        return 1;
    }
    conf.write("test\n");
    conf.close();
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(saneConfig.path()));
    QApplication app(argc, argv);
    IntakeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "intake_test.moc"
