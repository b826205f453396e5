// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's everyday comforts as an operator meets them: Qt's own texts in Japanese,
// the keyboard, page numbers and the page count, where a saved chart went, drops from a file
// manager and the drag of a page inside the list.

#include "app/chartsaver.h"
#include "app/pageworkspace.h"
#include "app/patientcheckview.h"
#include "app/pelorafileapplication.h"
#include "app/tmainform.h"
#include "app/tpagelistview.h"
#include "index/chartindexschema.h"
#include "platform/filelock.h"
#include "settings/foldertree.h"
#include "settings/tregistory.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"
#include "support/testimages.h"

#include <QDialogButtonBox>
#include <QDrag>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QPoint pageCentre(TPageListView* view, int row) {
    return view->visualItemRect(view->item(row)).center();
}

/// Delivers \p mime to the list's viewport at \p pos as a drop from another program: enter,
/// move and drop. Returns whether the drop was accepted and with which action.
std::pair<bool, Qt::DropAction> dropFromOutside(TPageListView* view, QMimeData* mime,
                                                const QPoint& pos) {
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(pos, offered, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QDragMoveEvent move(pos, offered, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    if (!move.isAccepted()) {
        return {false, Qt::IgnoreAction};
    }
    QDropEvent drop(QPointF(pos), offered, mime, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(move.dropAction());
    QApplication::sendEvent(view->viewport(), &drop);
    return {drop.isAccepted(), drop.dropAction()};
}

} // namespace

Q_DECLARE_METATYPE(TMainForm::Command)

class EverydayTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;
    std::unique_ptr<TMainForm> m_form;

    QString scanner() const { return m_dir->filePath("scanner"); }
    QString scan(const QString& name) const { return QDir(scanner()).filePath(name); }
    QString archive() const { return m_dir->filePath("archive"); }

    void writePage(const QString& path, int width = 60, int height = 80) {
        QVERIFY2(testimages::save(testimages::page(width, height), path), qPrintable(path));
    }
    QMenu* menuOf(TMainForm::Command which) const {
        return qobject_cast<QMenu*>(m_form->command(which)->parent());
    }
    /// Takes 1.jpg .. \p count.jpg of the scanner folder as the page list.
    void intake(int count) {
        for (int page = 1; page <= count; ++page) {
            writePage(scan(QString("%1.jpg").arg(page)));
        }
        m_form->command(TMainForm::Command::ScannerIntake)->trigger();
        m_form->workspace().waitForThumbnails();
        QCoreApplication::processEvents(); // the end of the thumbnail build
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(scanner());
        QDir().mkpath(archive());
        m_prompts = FakePrompts();
        m_opener.opened.clear();
        QString error;
        QVERIFY(chartindex::createEmptyIndex(m_dir->filePath(chartindex::fileName), &error));
        m_form = startMainWindow({m_dir->path(), {}, &m_prompts, &m_opener});
        TRegistory& settings = m_form->settings();
        settings.ScannerDir = scanner();
        settings.Target = archive();
        settings.HPCode = "1234";
        settings.FolderClear = false;
        QApplication::setActiveWindow(m_form.get());
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    void cleanup() {
        m_prompts.questionAnswers.enqueue(QMessageBox::Yes); // an unsaved log at exit
        m_form.reset();
    }

    void qtDialogsSpeakJapanese() {
        auto* app = static_cast<PeloraFileApplication*>(QCoreApplication::instance());
        QVERIFY(app->hasQtTranslation());
        QMessageBox box(QMessageBox::Question, "t", "q", QMessageBox::Yes | QMessageBox::No);
        QVERIFY2(box.button(QMessageBox::Yes)->text().contains(QStringLiteral("はい")),
                 qPrintable(box.button(QMessageBox::Yes)->text()));
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        QVERIFY2(
            buttons.button(QDialogButtonBox::Cancel)->text().contains(QStringLiteral("キャンセル")),
            qPrintable(buttons.button(QDialogButtonBox::Cancel)->text()));
    }

    void altAndALetterOpensEachMenu_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<TMainForm::Command>("entry"); // an entry of the menu that opens
        using C = TMainForm::Command;
        QTest::newRow("ファイル") << int(Qt::Key_F) << C::FileImport;
        QTest::newRow("編集") << int(Qt::Key_E) << C::DeletePage;
        QTest::newRow("表示") << int(Qt::Key_V) << C::Redraw;
        QTest::newRow("設定") << int(Qt::Key_S) << C::ReadSettings;
        QTest::newRow("照会") << int(Qt::Key_Q) << C::PatientLookup;
        QTest::newRow("ユーティリティ") << int(Qt::Key_U) << C::RegistrationCheck;
        QTest::newRow("ヘルプ") << int(Qt::Key_H) << C::Help;
        QTest::newRow("情報") << int(Qt::Key_A) << C::ProductInfo;
    }
    void altAndALetterOpensEachMenu() {
        QFETCH(int, key);
        QFETCH(TMainForm::Command, entry);
        QMenu* menu = menuOf(entry);
        QVERIFY(menu);
        const QString caption = menu->title();
        m_form->idEdit()->setFocus(); // also from a text box, which keeps the letter away
        QTest::keyClick(m_form->idEdit(), Qt::Key(key), Qt::AltModifier);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(m_form->idEdit()->text(), QString());
        QCOMPARE(menu->title(), caption); // the caption has no mnemonic added
        QTest::keyClick(menu, Qt::Key_Escape);
        QTRY_VERIFY(!menu->isVisible());
    }

    void ctrlArrowsMovePagesOnePlace() {
        intake(3);
        TPageListView* view = m_form->pageListView();
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(pageNames(*m_form), (QStringList{"2.jpg", "1.jpg", "3.jpg"}));
        QCOMPARE(m_form->selectedPageIndex(), 1); // the page stays highlighted as it moves
        QTest::keyClick(view, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(pageNames(*m_form), (QStringList{"2.jpg", "3.jpg", "1.jpg"}));
        QTest::keyClick(view, Qt::Key_Right, Qt::ControlModifier); // at the end: stays
        QCOMPARE(pageNames(*m_form), (QStringList{"2.jpg", "3.jpg", "1.jpg"}));
        QCOMPARE(m_form->selectedPageIndex(), 2);
        QTest::keyClick(view, Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(pageNames(*m_form), (QStringList{"2.jpg", "1.jpg", "3.jpg"}));
        QCOMPARE(view->shownText(1), QStringLiteral("2")); // numbers follow the places

        // In a text box the keys move the caret by words and leave the pages alone.
        m_form->idEdit()->setFocus();
        QTest::keyClick(m_form->idEdit(), Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(pageNames(*m_form), (QStringList{"2.jpg", "1.jpg", "3.jpg"}));

        // The menu entries, clicked in the opened "編集" menu.
        QAction* left = m_form->command(TMainForm::Command::MovePageLeft);
        QMenu* edit = menuOf(TMainForm::Command::MovePageLeft);
        QMenuBar* bar = m_form->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(edit->menuAction()).center());
        QVERIFY(QTest::qWaitForWindowExposed(edit));
        QVERIFY(left->isEnabled());
        QTest::mouseClick(edit, Qt::LeftButton, {}, edit->actionGeometry(left).center());
        QTRY_VERIFY(!edit->isVisible());
        QCOMPARE(pageNames(*m_form), (QStringList{"1.jpg", "2.jpg", "3.jpg"}));

        // On another tab there is no highlighted page to move.
        m_form->pageControl()->setCurrentIndex(int(TMainForm::Tab::Keywords));
        QTest::keyClick(m_form.get(), Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(pageNames(*m_form), (QStringList{"1.jpg", "2.jpg", "3.jpg"}));
    }

    void commandKeys() {
        intake(2);
        // F5 redraws the page check.
        QTest::keyClick(m_form->pageListView(), Qt::Key_F5);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("少々お待ちください。"));
        m_form->workspace().waitForThumbnails();
        QTRY_COMPARE(m_form->statusText(TMainForm::StatusPanel::Message), QString());
        QCOMPARE(m_form->workspace().thumbnailCount(), 2);

        // Ctrl+O is the folder intake.
        FileChoice choice;
        choice.accepted = true;
        choice.files = {scan("2.jpg")};
        m_prompts.fileChoices.enqueue(choice);
        QTest::keyClick(m_form->pageListView(), Qt::Key_O, Qt::ControlModifier);
        m_form->workspace().waitForThumbnails();
        QCOMPARE(m_prompts.fileDialogs.size(), 1);
        QCOMPARE(pageNames(*m_form), QStringList{"2.jpg"});

        // Ctrl+S saves as the button does: here it stops at the empty patient number.
        QTest::keyClick(m_form->pageListView(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("患者番号エラー"));
        // Enter in the patient box does not save; Enter in the serial box does.
        m_form->setStatusText(TMainForm::StatusPanel::Message, "-");
        m_form->idEdit()->setFocus();
        QTest::keyClick(m_form->idEdit(), Qt::Key_Return);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message), QStringLiteral("-"));
        m_form->volNoEdit()->setFocus();
        QTest::keyClick(m_form->volNoEdit(), Qt::Key_Return);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("患者番号エラー"));
    }

    void pageNumbersAndCountFollowTheList() {
        intake(3);
        TPageListView* view = m_form->pageListView();
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::PageCount), QStringLiteral("3"));
        m_form->workspace().setPageTexts(1, QStringLiteral("胸部"), std::nullopt);
        QCOMPARE(view->shownText(0), QStringLiteral("1"));
        QCOMPARE(view->shownText(1), QStringLiteral("2\n胸部"));
        QCOMPARE(view->item(1)->text(), QStringLiteral("胸部")); // the caption alone is edited
        // Every item has room for the number and the caption under its thumbnail, also when the
        // first page has no caption.
        const int lines = 2 * view->fontMetrics().lineSpacing();
        QVERIFY(view->visualItemRect(view->item(1)).height() >= view->iconSize().height() + lines);

        m_form->workspace().setSelectedIndex(0);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::PageCount), QStringLiteral("2"));
        QCOMPARE(view->shownText(0), QStringLiteral("1\n胸部"));
        QCOMPARE(view->shownText(1), QStringLiteral("2"));
    }

    void saveSaysWhereTheChartWentAndOpensIt() {
        QAction* open = m_form->command(TMainForm::Command::OpenLastChart);
        m_form->updateMenu(menuOf(TMainForm::Command::OpenLastChart));
        QVERIFY(!open->isEnabled()); // no chart saved yet

        m_form->settings().FolderClear = true;
        intake(3);
        m_form->idEdit()->setText("1234567");
        m_form->volNoEdit()->setText("2");
        m_form->volNoEdit()->setFocus();
        QTest::keyClick(m_form->volNoEdit(), Qt::Key_Enter); // the keypad's Enter
        m_form->waitForSave();
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("保存しました。"));
        QDir charts(archive() + "/01/23/45/67");
        const QStringList written = charts.entryList({"*.pdf"}, QDir::Files);
        QCOMPARE(written.size(), 1);
        const QString chart = charts.filePath(written.first());
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::ChartPath), chart);
        QVERIFY(m_form->statusBar()->findChild<QLabel*>("StatusPanel2")->isVisibleTo(m_form.get()));
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::PageCount),
                 QStringLiteral("0")); // the list was emptied with the scanner folder

        // "最後のカルテを開く", clicked in the opened "ファイル" menu.
        QMenu* file = menuOf(TMainForm::Command::OpenLastChart);
        QMenuBar* bar = m_form->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(file->menuAction()).center());
        QVERIFY(QTest::qWaitForWindowExposed(file));
        QVERIFY(open->isEnabled());
        QTest::mouseClick(file, Qt::LeftButton, {}, file->actionGeometry(open).center());
        QTRY_VERIFY(!file->isVisible());
        QCOMPARE(m_opener.opened, QList<QUrl>{QUrl::fromLocalFile(chart)});

        // The next message takes the path away; the entry still opens the chart, and says so
        // when the chart has gone meanwhile.
        m_form->setStatusText(TMainForm::StatusPanel::Message, "next");
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::ChartPath), QString());
        QVERIFY(QFile::remove(chart));
        open->trigger();
        QCOMPARE(m_opener.opened.size(), 1);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("ファイルを開くことができません。"));
    }

    void theWindowAnswersWhileAnotherSaveHoldsThePatientFolder() {
        intake(2);
        // Another workstation's save holds patient 42's folder.
        const QString folder = archive() + "/00/00/00/42";
        QVERIFY(QDir().mkpath(folder));
        QString error;
        auto held =
            FileLock::acquire(folder + "/.pelorafile.lock", std::chrono::seconds(5), {}, &error);
        QVERIFY2(held, qPrintable(error));
        m_form->idEdit()->setText("42");
        m_form->idEdit()->setFocus();
        QTest::keyClick(m_form->idEdit(), Qt::Key_S, Qt::ControlModifier);
        QTRY_COMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                     ChartSaver::ChartBusyText);
        // Meanwhile the window takes typing and timers run on time.
        QElapsedTimer waited;
        waited.start();
        QTest::keyClicks(m_form->volNoEdit(), "7");
        QTest::qWait(300);
        QVERIFY2(waited.elapsed() < 1000, qPrintable(QString::number(waited.elapsed())));
        QVERIFY(m_form->volNoEdit()->text().endsWith("7"));
        QVERIFY(QDir(folder).entryList({"*.pdf"}, QDir::Files).isEmpty());
        held->release();
        m_form->waitForSave();
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("保存しました。"));
        QCOMPARE(QDir(folder).entryList({"*.pdf"}, QDir::Files).size(), 1);
    }

    void patientCheckMarksWhatACroppedSaveKeeps() {
        writePage(scan("1.jpg"), 2000, 3000); // a scan far larger than the 634 x 934 image area
        writePage(scan("2.jpg"), 600, 900);   // fits: nothing is lost
        m_form->command(TMainForm::Command::ScannerIntake)->trigger();
        m_form->workspace().waitForThumbnails();
        PatientCheckView* check = m_form->patientCheck();
        QTabBar* tabs = m_form->pageControl()->tabBar();
        auto clickTab = [&](TMainForm::Tab tab) {
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(int(tab)).center());
            QCOMPARE(m_form->pageControl()->currentIndex(), int(tab));
        };
        clickTab(TMainForm::Tab::PatientCheck);
        QVERIFY(check->keptArea(0));
        QCOMPARE(*check->keptArea(0), QRectF(0, 0, 634.0 / 2000, 934.0 / 3000));
        QVERIFY(!check->keptArea(1));
        QVERIFY(check->cropNotice()->isVisible());
        // The left page shows shaded outside the kept corner.
        const QImage shown = check->leftArea()->pixmap().toImage();
        const QColor inside = shown.pixelColor(shown.width() / 10, shown.height() / 10);
        const QColor outside = shown.pixelColor(shown.width() * 9 / 10, shown.height() * 9 / 10);
        QVERIFY2(outside.lightness() < inside.lightness(),
                 qPrintable(QString("%1 %2").arg(inside.name(), outside.name())));

        // With stretch the whole page is kept: nothing is marked.
        clickTab(TMainForm::Tab::PageCheck);
        m_form->settings().Stretch = true;
        clickTab(TMainForm::Tab::PatientCheck);
        QVERIFY(!check->keptArea(0));
        QVERIFY(!check->cropNotice()->isVisible());
    }

    void helpOpensTheManualWhenTheHelpFileIsAbsent() {
        QAction* help = m_form->command(TMainForm::Command::Help);
        help->trigger();
        QVERIFY(m_opener.opened.isEmpty()); // no manual either: nothing opened
        QVERIFY(QDir(m_dir->path()).mkpath("manual"));
        const QString manual = m_dir->filePath("manual/index.html");
        QFile source(QStringLiteral(PELORA_SOURCE_DIR "/docs/manual/index.html"));
        QVERIFY(source.copy(manual));
        help->trigger();
        QCOMPARE(m_opener.opened.last(), QUrl::fromLocalFile(manual));
        QFile shipped(manual);
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(shipped.readAll());
        for (const char* part :
             {"はじめての起動", "画像の取込み", "保存", "設定", "付属コマンド"}) {
            QVERIFY2(text.contains(QString::fromUtf8(part)), part);
        }
        QFile helpFile(m_dir->filePath("PeloraFileBasic.chm")); // the help file comes first
        QVERIFY(helpFile.open(QIODevice::WriteOnly));
        helpFile.close();
        help->trigger();
        QCOMPARE(m_opener.opened.last(), QUrl::fromLocalFile(helpFile.fileName()));
    }

    void imageFilesDroppedFromOutsideAreImported() {
        intake(2);
        const QString camera = m_dir->filePath("camera");
        QDir().mkpath(camera);
        writePage(camera + "/1.jpg", 30, 30); // the name of an unsaved scan in the folder
        writePage(camera + "/new.PNG", 40, 40);
        const QByteArray scanBefore = [&] {
            QFile f(scan("1.jpg"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        TPageListView* view = m_form->pageListView();

        auto* mime = new QMimeData;
        mime->setUrls(
            {QUrl::fromLocalFile(camera + "/1.jpg"), QUrl::fromLocalFile(camera + "/new.PNG")});
        const auto [accepted, action] = dropFromOutside(view, mime, pageCentre(view, 0));
        QVERIFY(accepted);
        QCOMPARE(action, Qt::CopyAction); // never a move: the source files stay
        m_form->workspace().waitForThumbnails();
        QVERIFY(QFile::exists(camera + "/1.jpg"));
        QCOMPARE(pageNames(*m_form), (QStringList{"1.jpg", "2.jpg", "1_2.jpg", "new.PNG"}));
        QFile kept(scan("1.jpg"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), scanBefore); // the unsaved scan was not overwritten
        QCOMPARE(QImage(scan("1_2.jpg")).size(), QSize(30, 30));
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::PageCount), QStringLiteral("4"));
        delete mime;

        // Anything else is refused with a message, and nothing is copied.
        QFile pdf(camera + "/letter.pdf");
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        pdf.write("%PDF-1.4");
        pdf.close();
        const QStringList before = QDir(scanner()).entryList(QDir::Files | QDir::Hidden);
        auto refused = [&](QMimeData* other) {
            dropFromOutside(view, other, pageCentre(view, 0));
            delete other;
            QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                     QStringLiteral("画像ファイル以外は取り込めません。"));
            m_form->setStatusText(TMainForm::StatusPanel::Message, QString());
            QCOMPARE(QDir(scanner()).entryList(QDir::Files | QDir::Hidden), before);
            QCOMPARE(pageNames(*m_form).size(), 4);
        };
        auto* text = new QMimeData;
        text->setText("1234567");
        refused(text);
        auto* mixed = new QMimeData;
        mixed->setUrls({QUrl::fromLocalFile(camera + "/new.PNG"),
                        QUrl::fromLocalFile(camera + "/letter.pdf")});
        refused(mixed);
        auto* web = new QMimeData;
        web->setUrls({QUrl("https://example.invalid/a.jpg")});
        refused(web);
        auto* folder = new QMimeData;
        folder->setUrls({QUrl::fromLocalFile(camera)});
        refused(folder);
    }

    void importNeverOverwritesAFileOfTheScannerFolder() {
        const QString camera = m_dir->filePath("camera");
        QDir().mkpath(camera);
        writePage(scan("p.jpg"), 70, 70);
        writePage(scan("p_2.jpg"), 71, 71);
        writePage(camera + "/p.jpg", 50, 50);
        FileChoice choice;
        choice.accepted = true;
        choice.files = {camera + "/p.jpg", scan("p.jpg")};
        m_prompts.fileChoices.enqueue(choice);
        m_form->command(TMainForm::Command::FileImport)->trigger();
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("インポート完了（2 件）"));
        QCOMPARE(QImage(scan("p.jpg")).size(), QSize(70, 70));
        QCOMPARE(QImage(scan("p_2.jpg")).size(), QSize(71, 71));
        QCOMPARE(QImage(scan("p_3.jpg")).size(), QSize(50, 50));
        QCOMPARE(QDir(scanner()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"p.jpg", "p_2.jpg", "p_3.jpg"})); // no part file is left either
    }

    void importSaysWhatIntakeWillPassOver() {
        // PNG and TIFF are not among the types intake takes; a PNG imported is copied all the
        // same, and the message says that intake will not take it.
        m_form->settings().PngType = false;
        m_form->settings().TiffType = false;
        const QString camera = m_dir->filePath("camera");
        QDir().mkpath(camera);
        for (const char* name : {"a.jpg", "b.png", "c.JPEG", "d.tif"}) {
            writePage(camera + "/" + name);
        }
        FileChoice choice;
        choice.accepted = true;
        choice.files = {camera + "/a.jpg", camera + "/b.png", camera + "/c.JPEG",
                        camera + "/d.tif"};
        m_prompts.fileChoices.enqueue(choice);
        QAction* import = m_form->command(TMainForm::Command::FileImport);
        QMenu* file = menuOf(TMainForm::Command::FileImport);
        QMenuBar* bar = m_form->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(file->menuAction()).center());
        QVERIFY(QTest::qWaitForWindowExposed(file));
        QTest::mouseClick(file, Qt::LeftButton, {}, file->actionGeometry(import).center());
        QTRY_VERIFY(!file->isVisible());
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("インポート完了（4 件。うち 2 "
                                "件は読み込み設定にないファイル形式のため、取り込まれません）"));
        QCOMPARE(QDir(scanner()).entryList(QDir::Files),
                 (QStringList{"a.jpg", "b.png", "c.JPEG", "d.tif"}));
        // What the message said: the next intake takes the other two.
        m_form->command(TMainForm::Command::ScannerIntake)->trigger();
        m_form->workspace().waitForThumbnails();
        QCOMPARE(pageNames(*m_form), (QStringList{"a.jpg", "c.JPEG"}));
    }

    void aPageDraggedInsideTheListMoves() {
        intake(4);
        TPageListView* view = m_form->pageListView();
        // The list's own drag, started by the mouse; the platform part of the drag (moving
        // over the list and letting go over page 3) is delivered as the events it sends.
        int runs = 0;
        QPoint target = pageCentre(view, 2);
        view->setDragRunner([&](QDrag& drag) {
            ++runs;
            const Qt::DropActions offered = drag.supportedActions();
            QDragEnterEvent enter(target, offered, drag.mimeData(), Qt::LeftButton, {});
            QApplication::sendEvent(view->viewport(), &enter);
            QDragMoveEvent move(target, offered, drag.mimeData(), Qt::LeftButton, {});
            QApplication::sendEvent(view->viewport(), &move);
            if (!move.isAccepted()) {
                return Qt::IgnoreAction;
            }
            QDropEvent drop(QPointF(target), offered, drag.mimeData(), Qt::LeftButton, {});
            QApplication::sendEvent(view->viewport(), &drop);
            return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
        });
        auto dragPage = [&](int source, const QPoint& to) {
            target = to;
            const QPoint from = pageCentre(view, source);
            QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
            QTest::mouseMove(view->viewport(), from + QPoint(4, 0));
            QTest::mouseMove(view->viewport(), from + QPoint(40, 0));
            QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, from + QPoint(40, 0));
        };
        dragPage(0, pageCentre(view, 2));
        QCOMPARE(runs, 1);
        QCOMPARE(pageNames(*m_form), (QStringList{"2.jpg", "1.jpg", "3.jpg", "4.jpg"}));
        QCOMPARE(view->count(), 4); // the view removed no item of its own
        dragPage(3, pageCentre(view, 0));
        QCOMPARE(pageNames(*m_form), (QStringList{"4.jpg", "2.jpg", "1.jpg", "3.jpg"}));
        QCOMPARE(view->shownText(0), QStringLiteral("1"));

        // A drop of the list's format that this drag did not start is no page move.
        auto* foreign = new QMimeData;
        foreign->setData("application/x-pelorafile-page", "0:0");
        dropFromOutside(view, foreign, pageCentre(view, 2));
        delete foreign;
        QCOMPARE(pageNames(*m_form), (QStringList{"4.jpg", "2.jpg", "1.jpg", "3.jpg"}));
    }
};

class FolderTreeTest : public QObject {
    Q_OBJECT
private slots:
    void opensScrolledToTheSelectedFolder() {
        QTemporaryDir dir;
        // Many folders sort before the selected one, so their late listing pushes it down.
        for (int sibling = 0; sibling < 80; ++sibling) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("a%1").arg(sibling, 2, 10, QChar(u'0'))));
        }
        QString deep = dir.path() + "/z";
        for (int level = 1; level <= 14; ++level) {
            deep += QStringLiteral("/フォルダー%1").arg(level, 2, 10, QChar(u'0'));
        }
        QVERIFY(QDir().mkpath(deep));
        FolderTree tree;
        tree.resize(220, 160);
        tree.selectFolder(deep); // filled before it shows, as the dialogs do
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QCOMPARE(tree.selectedPath(), deep);
        const QRect room = tree.viewport()->rect();
        auto nameShows = [&] {
            const QRect row = tree.visualRect(tree.currentIndex());
            return room.contains(QPoint(row.left() + 1, row.center().y()));
        };
        QTRY_VERIFY(nameShows()); // the selected folder's row, with the start of its name
        QTest::qWait(500);        // every listing and sort has arrived
        QVERIFY(nameShows());
        // A shallow folder leaves the tree at its left edge.
        tree.selectFolder(dir.path());
        QTRY_VERIFY(nameShows());
        QCOMPARE(tree.horizontalScrollBar()->value(), 0);
    }
};

int main(int argc, char** argv) {
    PeloraFileApplication app(argc, argv);
    EverydayTest test;
    FolderTreeTest tree;
    return QTest::qExec(&test, argc, argv) | QTest::qExec(&tree, argc, argv);
}

#include "everyday_test.moc"
