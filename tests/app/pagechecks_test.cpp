// SPDX-License-Identifier: GPL-3.0-or-later
// Blank pages and skewed pages in the main window: intake marks the blank pages and counts
// them, "白紙ページを選択" selects them for the Delete key, and "選択ページの傾き補正"
// straightens the selected pages' files on a worker. The commands are reached by clicks on the
// opened "編集" menu and keys, as the operator reaches them.

#include "app/pageworkspace.h"
#include "app/tmainform.h"
#include "app/tpagelistview.h"
#include "index/chartindexschema.h"
#include "settings/tregistory.h"
#include "support/mainwindow.h"
#include "support/scannedpages.h"
#include "support/skewmeasure.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using scannedpages::Kind;

namespace {

/// The pages are drawn at 200 dpi: the check works at any resolution, and the test stays quick.
constexpr int dpi = 200;

QByteArray digest(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

QImage loaded(const QString& path) {
    TImageIO io;
    io.LoadImageFile(path);
    return io.IoFailed() ? QImage() : io.bitmap();
}

} // namespace

class PageChecksTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;

    QString scannerFolder() const { return m_folder->filePath("scanner"); }
    QString scan(const QString& name) const { return QDir(scannerFolder()).filePath(name); }

    /// The scanner folder holds one page per entry of \p pages, named 1.jpg, 2.jpg, ...; the
    /// window has taken them in and made every thumbnail.
    std::unique_ptr<TMainForm> startWith(const QList<std::pair<Kind, double>>& pages) {
        QString error;
        if (!chartindex::createEmptyIndex(m_folder->filePath(chartindex::fileName), &error)) {
            qFatal("%s", qPrintable(error));
        }
        QDir().mkpath(scannerFolder());
        for (int n = 0; n < pages.size(); ++n) {
            const auto [kind, degrees] = pages.at(n);
            if (!scannedpages::write(scannedpages::page(kind, degrees, dpi, n + 1),
                                     scan(QString("%1.jpg").arg(n + 1)), dpi)) {
                qFatal("cannot write page %d", n + 1);
            }
        }
        auto form = startMainWindow({m_folder->path(), {}, &m_prompts, &m_opener});
        form->settings().ScannerDir = scannerFolder();
        form->settings().ImSize = 2;
        form->command(TMainForm::Command::ScannerIntake)->trigger();
        form->workspace().waitForThumbnails();
        QApplication::setActiveWindow(form.get());
        return form;
    }

    /// Opens "編集" with a click on the menu bar and clicks \p which in it.
    static void clickEditEntry(TMainForm& form, TMainForm::Command which) {
        QAction* entry = form.command(which);
        auto* menu = qobject_cast<QMenu*>(entry->parent());
        QMenuBar* bar = form.menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(menu->menuAction()).center());
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QVERIFY2(entry->isEnabled(), qPrintable(entry->text() + " is disabled"));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        QTRY_VERIFY(!menu->isVisible());
    }

    /// Whether the blank mark's band shows over the thumbnail of \p row.
    static bool showsBlankMark(TPageListView* view, int row) {
        const QImage shown = view->viewport()->grab().toImage();
        const QRect item = view->visualItemRect(view->item(row));
        const int y = item.top() + 6;
        int marked = 0;
        for (int x = item.left(); x < item.right(); ++x) {
            const QColor pixel = shown.pixelColor(x, y);
            if (pixel.red() > 200 && pixel.green() > 90 && pixel.green() < 150 &&
                pixel.blue() < 60) {
                ++marked;
            }
        }
        return marked > view->iconSize().width() / 3;
    }

private slots:
    void init() {
        m_folder = std::make_unique<QTemporaryDir>();
        m_prompts = FakePrompts();
    }

    void blankPagesAreMarkedSelectedAndDeletedByTheOperator() {
        auto form = startWith({{Kind::Text, 0},
                               {Kind::Everything, 0},
                               {Kind::Pencil, 0},
                               {Kind::EdgeShadows, 0},
                               {Kind::Signature, 0}});
        PageWorkspace& pages = form->workspace();
        TPageListView* view = form->pageListView();
        QCOMPARE(pages.blankPages(), (QList<int>{1, 3}));
        QCOMPARE(form->statusText(TMainForm::StatusPanel::BlankPages),
                 QStringLiteral("白紙ページ 2（5 ページ中）"));
        for (int row = 0; row < 5; ++row) {
            const bool blank = row == 1 || row == 3;
            QCOMPARE(view->item(row)->toolTip().contains(QStringLiteral("白紙ページ")), blank);
            QCOMPARE(showsBlankMark(view, row), blank);
        }
        // Found is not deleted: every page and file is still there.
        QCOMPARE(pageNames(*form), (QStringList{"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"}));

        clickEditEntry(*form, TMainForm::Command::SelectBlankPages);
        QCOMPARE(pages.selectedPages(), (QList<int>{1, 3}));
        QCOMPARE(pages.selectedIndex(), 1);
        QCOMPARE(pageNames(*form).size(), 5);
        // The operator takes one out of the selection, puts it back, and presses Delete.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          view->visualItemRect(view->item(3)).center());
        QCOMPARE(pages.selectedPages(), (QList<int>{1}));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          view->visualItemRect(view->item(3)).center());
        QCOMPARE(pages.selectedPages(), (QList<int>{1, 3}));
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(pageNames(*form), (QStringList{"1.jpg", "3.jpg", "5.jpg"}));
        QVERIFY(pages.blankPages().isEmpty());
        QCOMPARE(pages.selectedIndex(), 1); // the page after the first one deleted
        QVERIFY(QFile::exists(scan("2.jpg")) && QFile::exists(scan("4.jpg")));
        form->updateMenu(
            qobject_cast<QMenu*>(form->command(TMainForm::Command::SelectBlankPages)->parent()));
        QVERIFY(!form->command(TMainForm::Command::SelectBlankPages)->isEnabled());
    }

    void straighteningSelectedPagesRunsOnAWorker() {
        auto form = startWith({{Kind::Text, 1.5}, {Kind::Text, -3.0}, {Kind::Text, 0.03}});
        PageWorkspace& pages = form->workspace();
        TPageListView* view = form->pageListView();
        const QByteArray level = digest(scan("3.jpg"));
        const QIcon firstThumbnail = pages.thumbnail(pages.pages().at(0).ImageIndex);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Home);
        QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(pages.selectedPages(), (QList<int>{0, 1, 2}));

        QElapsedTimer clock;
        clock.start();
        clickEditEntry(*form, TMainForm::Command::StraightenPages);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        // The pages are being rewritten: nothing may change the list or save meanwhile.
        QVERIFY(form->isStraightening());
        QVERIFY(!form->command(TMainForm::Command::DeletePage)->isEnabled());
        QVERIFY(!form->saveButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!form->isStraightening(), 60000);
        QTRY_VERIFY(form->saveButton()->isEnabled());

        for (const char* name : {"1.jpg", "2.jpg"}) {
            const double left = skewmeasure::linesAngle(loaded(scan(name)));
            QVERIFY2(std::abs(left) <= 0.2, qPrintable(QString("%1: %2°").arg(name).arg(left)));
        }
        QCOMPARE(digest(scan("3.jpg")), level); // turned less than 0.1°: left alone
        const QString message = form->statusText(TMainForm::StatusPanel::Message);
        QVERIFY2(message.contains(QStringLiteral("2 ページを補正しました")) &&
                     message.contains(QStringLiteral("3（")) &&
                     message.contains(QStringLiteral("未満")),
                 qPrintable(message));
        // The straightened page shows its new thumbnail.
        QVERIFY(pages.thumbnail(pages.pages().at(0).ImageIndex).pixmap(64).toImage() !=
                firstThumbnail.pixmap(64).toImage());
        QCOMPARE(QDir(scannerFolder()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"1.jpg", "2.jpg", "3.jpg"}));
    }
};

QTEST_MAIN(PageChecksTest)
#include "pagechecks_test.moc"
