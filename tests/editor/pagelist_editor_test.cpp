// SPDX-License-Identifier: GPL-3.0-or-later
// The page editor as the page list opens it: right button, Enter and double click; what passes
// between them (path, zoom, bookmark, note, the two lists); the thumbnail after a save; and one
// page edited all the way into the chart PDF.

#include "app/pageworkspace.h"
#include "app/tmainform.h"
#include "app/tpagelistview.h"
#include "editor/pageview.h"
#include "editor/timageshow.h"
#include "index/chartindexschema.h"
#include "platform/listfile.h"
#include "settings/tregistory.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"
#include "support/testimages.h"
#include "support/typetext.h"

#include <QComboBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

namespace {

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void click(QDialog& editor, const char* action) {
    auto* button = editor.findChild<QWidget*>(QString::fromLatin1(action) + "Button");
    QVERIFY2(button, action);
    QTest::mouseClick(button, Qt::LeftButton);
}

/// Opens \p menuName from the editor's menu bar with a click and chooses \p action by its keys.
void chooseMenu(QDialog& editor, const char* menuName, const char* action) {
    auto* menu = editor.findChild<QMenu*>(QString::fromLatin1(menuName));
    auto* bar = editor.findChild<QMenuBar*>();
    QVERIFY(menu && bar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    QTRY_VERIFY(menu->isVisible());
    int steps = 0;
    for (QAction* a : menu->actions()) {
        steps += !a->isSeparator() && a->isEnabled();
        if (a->objectName() == QLatin1String(action)) {
            break;
        }
    }
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(menu, Qt::Key_Down);
    }
    QCOMPARE(menu->activeAction()->objectName(), QString::fromLatin1(action));
    QTest::keyClick(menu, Qt::Key_Return);
    QTRY_VERIFY(!menu->isVisible());
}

void drag(QWidget* view, QPoint from, QPoint to) {
    QTest::mousePress(view, Qt::LeftButton, {}, from);
    QTest::mouseMove(view, to);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
}

QImage thumbnailOf(TMainForm& form, int page) {
    PageWorkspace& workspace = form.workspace();
    const int side = workspace.thumbnailSide();
    return workspace.thumbnail(workspace.pages().at(page).ImageIndex).pixmap(side, side).toImage();
}

} // namespace

class PageListEditorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;
    std::unique_ptr<TMainForm> m_form;

    QString scan(const QString& name) const { return m_dir->filePath("scanner/" + name); }
    TPageListView* list() const { return m_form->pageListView(); }

    /// Takes in \p names (made as 200 x 280 colour pages) through scanner intake.
    void takePages(const QStringList& names) {
        for (const auto& name : names) {
            QVERIFY(testimages::save(testimages::page(200, 280), scan(name)));
        }
        m_form->command(TMainForm::Command::ScannerIntake)->trigger();
        m_form->workspace().waitForThumbnails();
        QTRY_VERIFY(!m_form->workspace().isBusy());
    }

    /// The next modal editor runs \p steps and is closed with its close box; what was not
    /// saved is dropped when it asks.
    void whenEditorOpens(const std::function<void(QDialog&)>& steps) {
        m_prompts.dialogAnswers.enqueue([this, steps](QDialog& dialog) {
            dialog.show();
            if (QTest::qWaitForWindowExposed(&dialog)) {
                steps(dialog);
            }
            const qsizetype queued = m_prompts.dialogAnswers.size();
            m_prompts.dialogAnswers.enqueue(FakePrompts::clickInMessageBox("破棄"));
            dialog.close();
            if (m_prompts.dialogAnswers.size() > queued) {
                m_prompts.dialogAnswers.removeLast(); // it asked nothing
            }
            return dialog.result();
        });
    }

    QPoint itemCentre(int row) const { return list()->visualItemRect(list()->item(row)).center(); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(m_dir->filePath("scanner"));
        QDir().mkpath(m_dir->filePath("archive"));
        m_prompts = FakePrompts();
        QString error;
        QVERIFY(chartindex::createEmptyIndex(m_dir->filePath(chartindex::fileName), &error));
        m_form = startMainWindow({m_dir->path(), {}, &m_prompts, &m_opener});
        m_form->settings().ScannerDir = m_dir->filePath("scanner");
        m_form->settings().Target = m_dir->filePath("archive");
        m_form->settings().HPCode = "1234";
        m_form->settings().FolderClear = false;
    }
    void cleanup() { m_form.reset(); }

    void rightClickHandsThePageOverAndTakesItBack() {
        takePages({"1.png", "2.png"});
        m_form->settings().ShowImage = 25;
        const QByteArray before = bytesOf(scan("2.png"));
        const QImage thumbnail = thumbnailOf(*m_form, 1);
        whenEditorOpens([](QDialog& editor) {
            auto* show = qobject_cast<TImageShow*>(&editor);
            QVERIFY(show->pagePath().endsWith("/2.png"));
            QCOMPARE(show->statusText(1), QStringLiteral("5.64")); // 25 held to 10
            auto* memo = editor.findChild<QPlainTextEdit*>("NoteMemo");
            QCOMPARE(memo->toPlainText(), QString());
            auto* shiori = editor.findChild<QComboBox*>("ShioriBox");
            QCOMPARE(shiori->currentText(), QString());
            typeText(shiori->lineEdit(), QStringLiteral("紹介状紹介状紹介状"));
            QTest::mouseClick(memo->viewport(), Qt::LeftButton);
            typeText(memo, QStringLiteral("要再診"));
            QTest::keyClick(memo, Qt::Key_Return);
            typeText(memo, QStringLiteral("BP 120/80"));
            click(editor, "ZoomOutBtn");
            drag(show->pageView(), QPoint(10, 10), QPoint(300, 300)); // drawn, never saved
        });
        QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, itemCentre(1));
        QCOMPARE(m_prompts.shownDialogs, (QStringList{"TImageShow", "SaveChangesQuestion"}));

        const APageList& page = m_form->workspace().pages().at(1);
        QCOMPARE(page.Shiori, QStringLiteral("紹介状紹介状紹介")); // 16 bytes
        QCOMPARE(list()->item(1)->text(), page.Shiori);
        QCOMPARE(page.Note, (std::optional<QStringList>{{"要再診", "BP 120/80"}}));
        QCOMPARE(m_form->settings().ShowImage, 9);
        QCOMPARE(bytesOf(scan("2.png")), before); // closed without saving
        QCOMPARE(thumbnailOf(*m_form, 1), thumbnail);
        QCOMPARE(list()->currentRow(), 0); // the right button does not select

        // Opened again, the page brings its bookmark and note into the editor.
        whenEditorOpens([](QDialog& editor) {
            QCOMPARE(editor.findChild<QComboBox*>("ShioriBox")->currentText(),
                     QStringLiteral("紹介状紹介状紹介"));
            QCOMPARE(editor.findChild<QPlainTextEdit*>("NoteMemo")->toPlainText(),
                     QStringLiteral("要再診\nBP 120/80"));
            chooseMenu(editor, "EditMenu", "NoteClear");
        });
        QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, itemCentre(1));
        QCOMPARE(m_form->workspace().pages().at(1).Note, std::nullopt);
    }

    void enterAndDoubleClickOpenItAndASaveRemakesTheThumbnail() {
        takePages({"1.png", "2.png"});
        const QImage thumbnail = thumbnailOf(*m_form, 0);
        whenEditorOpens([](QDialog& editor) {
            click(editor, "RotLeftBtn");
            click(editor, "ToolButton3");
        });
        list()->setFocus();
        list()->setCurrentRow(0);
        QTest::keyClick(list(), Qt::Key_Return);
        QCOMPARE(m_prompts.shownDialogs, QStringList{"TImageShow"});
        QVERIFY(thumbnailOf(*m_form, 0) != thumbnail);
        TImageIO io;
        io.LoadImageFile(scan("1.png"));
        QCOMPARE(io.bitmap().size(), QSize(280, 200));

        whenEditorOpens([](QDialog&) {});
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, itemCentre(1));
        QCOMPARE(m_prompts.shownDialogs.size(), 2);
        // The double click starts no caption editing behind the editor's back.
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(!list()->viewport()->findChild<QLineEdit*>());

        // Over empty space the right button opens nothing.
        QTest::mouseClick(
            list()->viewport(), Qt::RightButton, {},
            QPoint(list()->viewport()->width() - 3, list()->viewport()->height() - 3));
        QCOMPARE(m_prompts.shownDialogs.size(), 2);
    }

    void registeredEntriesAreWrittenAtExit() {
        takePages({"1.png"});
        whenEditorOpens([](QDialog& editor) {
            editor.findChild<QComboBox*>("ShioriBox")->setEditText(QStringLiteral("検査結果"));
            chooseMenu(editor, "EditMenu", "ShioriRegist");
            editor.findChild<QComboBox*>("StrBox")->setEditText(QStringLiteral("確認済"));
            chooseMenu(editor, "EditMenu", "CommentRegist");
            chooseMenu(editor, "EditMenu", "CommentRegist");
        });
        QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, itemCentre(0));
        QCOMPARE(m_form->shioriItems(), QStringList{"検査結果"});
        QVERIFY(m_form->close());
        QStringList comments;
        QStringList bookmarks;
        listfile::read(m_dir->filePath("Comment.txt"), comments);
        listfile::read(m_dir->filePath("Shiori.txt"), bookmarks);
        QCOMPARE(comments, (QStringList{"確認済", "確認済"}));
        QCOMPARE(bookmarks, QStringList{"検査結果"});
    }

    void editedPageReachesTheChartPdf() {
        takePages({"1.png", "2.png"});
        m_form->settings().FirstPage = true;
        // Page 1: a note that is cleared again, so it gets no annotation.
        whenEditorOpens([](QDialog& editor) {
            editor.findChild<QPlainTextEdit*>("NoteMemo")->setPlainText("dropped");
        });
        QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, itemCentre(0));
        QVERIFY(m_form->workspace().pages().at(0).Note);
        whenEditorOpens([](QDialog& editor) { chooseMenu(editor, "EditMenu", "NoteClear"); });
        QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, itemCentre(0));
        // Page 2: turned, drawn on, stamped, saved, with a bookmark and a note.
        whenEditorOpens([](QDialog& editor) {
            auto* show = qobject_cast<TImageShow*>(&editor);
            click(editor, "RotRieghtBtn");
            drag(show->pageView(), QPoint(5, 150), QPoint(270, 150));
            editor.findChild<QComboBox*>("StrBox")->setEditText(QStringLiteral("済"));
            click(editor, "StrSetBtn");
            QTest::mouseClick(show->pageView(), Qt::LeftButton, {}, QPoint(20, 20));
            click(editor, "ToolButton3");
            editor.findChild<QComboBox*>("ShioriBox")->setEditText(QStringLiteral("Referral"));
            editor.findChild<QPlainTextEdit*>("NoteMemo")->setPlainText("see\nletter");
        });
        QTest::mouseClick(list()->viewport(), Qt::RightButton, {}, itemCentre(1));

        m_form->idEdit()->setText("42");
        m_form->volNoEdit()->setText("0");
        QTest::mouseClick(m_form->saveButton(), Qt::LeftButton);
        m_form->waitForSave();
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("保存しました。"));
        QDirIterator charts(m_dir->filePath("archive"), {"*.pdf"}, QDir::Files,
                            QDirIterator::Subdirectories);
        QVERIFY(charts.hasNext());
        const QString chart = charts.next();
        const QByteArray pdf = bytesOf(chart);
        // The second page's image is the turned page: 280 wide, 200 high.
        const QRegularExpression images("/Width (\\d+)\\r\\n/Height (\\d+)");
        QStringList sizes;
        for (auto it = images.globalMatch(QString::fromLatin1(pdf)); it.hasNext();) {
            const auto match = it.next();
            sizes << match.captured(1) + "x" + match.captured(2);
        }
        QCOMPARE(sizes, (QStringList{"200x280", "280x200"}));
        QCOMPARE(pdf.count("/Subtype /Text"), 1);
        QVERIFY(pdf.contains("/Contents (see\\rletter)")); // the note's two lines
        QVERIFY(pdf.contains("/Rect [667 929 700 959 ]"));
        QVERIFY(pdf.contains("/Title (Referral)\r\n/Parent 2 0 R"));
        QProcess qpdf;
        qpdf.start("qpdf", {"--check", chart});
        QVERIFY(qpdf.waitForFinished(30000));
        QCOMPARE(qpdf.exitCode(), 0);
    }
};

QTEST_MAIN(PageListEditorTest)
#include "pagelist_editor_test.moc"
