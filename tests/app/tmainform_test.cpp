// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/keywordpanel.h"
#include "app/pageworkspace.h"
#include "app/pelorafileapplication.h"
#include "app/tmainform.h"
#include "app/tpagelistview.h"
#include "index/chartindexschema.h"
#include "platform/registryfile.h"
#include "settings/tregistory.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"
#include "support/testimages.h"

#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QWidgetAction>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QStringList listNames{"Comment.txt", "Shiori.txt", "Key1.txt",
                            "Key2.txt",    "Key3.txt",   "Key4.txt"};

QPoint pageCentre(TPageListView* view, int row) {
    return view->visualItemRect(view->item(row)).center();
}

/// What the operator sees highlighted: the selected item's row, or -1.
int highlightedRow(TPageListView* view) {
    const QList<QListWidgetItem*> selected = view->selectedItems();
    return selected.size() == 1 ? view->row(selected.first()) : -1;
}

enum class DeleteBy { DeleteKey, MenuClick };

} // namespace

Q_DECLARE_METATYPE(DeleteBy)

class TMainFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;

    QString settingsPath() const { return m_folder->filePath("config/Tovani/registry.reg"); }

    void createIndex() {
        QString error;
        QVERIFY2(chartindex::createEmptyIndex(m_folder->filePath(chartindex::fileName), &error),
                 qPrintable(error));
    }

    /// A main window as the program starts it: created, windows created, shown.
    std::unique_ptr<TMainForm> start() {
        return startMainWindow({m_folder->path(), settingsPath(), &m_prompts, &m_opener});
    }

    QString scannerFolder() const { return m_folder->filePath("scanner"); }

    /// Scans 1.jpg .. 4.jpg into the scanner folder.
    void writeFourScans() {
        QVERIFY(QDir().mkpath(scannerFolder()));
        for (int page = 1; page <= 4; ++page) {
            const QString path = QDir(scannerFolder()).filePath(QString("%1.jpg").arg(page));
            QVERIFY2(testimages::save(testimages::page(60, 80), path), qPrintable(path));
        }
    }

    /// A started, active window whose page list holds the four scans, all thumbnails made.
    std::unique_ptr<TMainForm> startWithFourPages() {
        createIndex();
        writeFourScans();
        auto form = start();
        form->settings().ScannerDir = scannerFolder();
        form->settings().ImSize = 4; // large thumbnails: three pages a row, page 4 below page 1
        form->command(TMainForm::Command::ScannerIntake)->trigger();
        form->workspace().waitForThumbnails();
        QApplication::setActiveWindow(form.get());
        return form;
    }

    /// "ページの削除" as the operator gives it: the Delete key in the page list, or a click on
    /// the entry of the opened "編集" menu.
    void deletePageBy(TMainForm& form, DeleteBy by) {
        if (by == DeleteBy::DeleteKey) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
            return;
        }
        QAction* entry = form.command(TMainForm::Command::DeletePage);
        auto* menu = qobject_cast<QMenu*>(entry->parent());
        QMenuBar* bar = form.menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(menu->menuAction()).center());
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QVERIFY2(entry->isEnabled(), "ページの削除 is disabled in the opened menu");
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        QTRY_VERIFY(!menu->isVisible());
    }

private slots:
    void init() {
        m_folder = std::make_unique<QTemporaryDir>();
        m_prompts = FakePrompts();
        m_opener.opened.clear();
        QApplication::clipboard()->clear();
    }

    void firstStartInAnEmptyProgramFolder() {
        m_prompts.answerNextDialog(QDialog::Accepted); // "確認"
        auto form = start();
        QCOMPARE(m_prompts.shownDialogs, QStringList{"DBErrorMes"});
        QVERIFY(!form->isVisible()); // the program ends after the database error window
        QCOMPARE(form->volNoEdit()->text(), QStringLiteral("0"));
        for (const auto& name : listNames) {
            QCOMPARE(readAll(m_folder->filePath(name)), QByteArray()); // written, empty
        }
        RegistryFile registry;
        QCOMPARE(registry.load(settingsPath()), RegistryFile::LoadStatus::Loaded);
        QCOMPARE(registry.valueNames(TRegistory::KeyPath).size(), 52);
        QVERIFY(!QFile::exists(m_folder->filePath(chartindex::fileName))); // never created
        QVERIFY(m_prompts.errors.isEmpty());
    }

    void listsLoadAndAreRewrittenWithCrLf() {
        createIndex();
        // UTF-8 (with the byte-order mark: without it these bytes would also be valid CP932).
        writeFile(m_folder->filePath("Key1.txt"), "\xEF\xBB\xBF胸部\nfoo\n\nbar");
        writeFile(m_folder->filePath("Shiori.txt"), "\x8a\xbf\r\n"); // code page 932
        auto form = start();
        QVERIFY(m_prompts.shownDialogs.isEmpty());
        QCOMPARE(form->keywordPanel()->items(0), (QStringList{"胸部", "foo", "", "bar"}));
        QCOMPARE(form->keywordPanel()->keyBox(0)->currentText(), QString());
        QCOMPARE(form->shioriItems(), QStringList{"漢"});
        QVERIFY(form->commentItems().isEmpty());

        form->keywordPanel()->keyBox(1)->setEditText("new");
        QTest::mouseClick(form->keywordPanel()->addButton(1), Qt::LeftButton);
        QVERIFY(form->close());
        QCOMPARE(readAll(m_folder->filePath("Key1.txt")),
                 QByteArray("\x8b\xb9\x95\x94\r\nfoo\r\n\r\nbar\r\n"));
        QCOMPARE(readAll(m_folder->filePath("Key2.txt")), QByteArray("new\r\n"));
        QCOMPARE(readAll(m_folder->filePath("Comment.txt")), QByteArray());
        QCOMPARE(readAll(m_folder->filePath("Shiori.txt")), QByteArray("\x8a\xbf\r\n"));
    }

    void cp932ListsThatLookLikeUtf8SurviveTheRun() {
        createIndex();
        // Half-width katakana in CP932 whose bytes are also valid UTF-8 ("ʲ", "ý").
        const QByteArray key1("\xca\xb2\r\n\xc3\xbd\r\n");
        writeFile(m_folder->filePath("Key1.txt"), key1);
        writeFile(m_folder->filePath("Comment.txt"), "\xca\xb2\r\n");
        auto form = start();
        QCOMPARE(form->keywordPanel()->items(0), (QStringList{"ﾊｲ", "ﾃｽ"}));
        QCOMPARE(form->commentItems(), QStringList{"ﾊｲ"});
        QVERIFY(form->close());
        QCOMPARE(readAll(m_folder->filePath("Key1.txt")), key1);
        QCOMPARE(readAll(m_folder->filePath("Comment.txt")), QByteArray("\xca\xb2\r\n"));
    }

    void settingsAreLoadedAndShown() {
        createIndex();
        {
            TRegistory custom;
            custom.VolNo = "007";
            custom.KeyLabel2 = "部位";
            RegistryFile registry;
            custom.SaveToRegistry(registry);
            QDir().mkpath(QFileInfo(settingsPath()).absolutePath());
            QVERIFY(registry.save(settingsPath()));
        }
        auto form = start();
        QCOMPARE(form->volNoEdit()->text(), QStringLiteral("007"));
        QCOMPARE(form->keywordPanel()->label(1), QStringLiteral("部位"));
        QCOMPARE(form->pageControl()->currentIndex(), 0);
        QCOMPARE(form->windowTitle(), QStringLiteral("Tovani PeloraFile Basic"));

        form->settings().KeyLabel1 = "changed";
        form->pageControl()->setCurrentIndex(int(TMainForm::Tab::Keywords));
        QCOMPARE(form->keywordPanel()->label(0), QStringLiteral("changed"));
    }

    void keywordButtons() {
        createIndex();
        auto form = start();
        TKeywordPanel* panel = form->keywordPanel();
        panel->keyBox(2)->setEditText("x");
        QTest::mouseClick(panel->addButton(2), Qt::LeftButton);
        QTest::mouseClick(panel->addButton(2), Qt::LeftButton); // duplicates stay
        panel->keyBox(2)->setEditText("");
        QTest::mouseClick(panel->addButton(2), Qt::LeftButton); // so does an empty item
        QCOMPARE(panel->items(2), (QStringList{"x", "x", ""}));

        panel->keyBox(0)->setEditText("a");
        panel->keyBox(3)->setEditText("d");
        QTest::mouseClick(panel->clearButton(0), Qt::LeftButton);
        QCOMPARE(panel->keywords(), (std::array<QString, 4>{"", "", "", "d"}));
        QTest::mouseClick(panel->clearAllButton(), Qt::LeftButton);
        QCOMPARE(panel->keywords(), (std::array<QString, 4>{"", "", "", ""}));
        QCOMPARE(panel->items(2).size(), 3);
    }

    void pasteReplacesAKeywordBoxAndInsertsIntoNumberBoxes() {
        createIndex();
        auto form = start();
        QApplication::setActiveWindow(form.get());
        QAction* paste = form->command(TMainForm::Command::Paste);
        QVERIFY(paste);
        auto* edit = qobject_cast<QMenu*>(paste->parent());
        QVERIFY(edit);

        form->updateMenu(edit);
        QVERIFY(!paste->isEnabled()); // empty clipboard
        QApplication::clipboard()->setText("9");
        form->updateMenu(edit);
        QVERIFY(paste->isEnabled());

        form->idEdit()->setText("12");
        form->idEdit()->setFocus();
        form->idEdit()->setCursorPosition(1);
        paste->trigger();
        QCOMPARE(form->idEdit()->text(), QStringLiteral("192"));

        QComboBox* box2 = form->keywordPanel()->keyBox(1);
        form->pageControl()->setCurrentIndex(int(TMainForm::Tab::Keywords));
        box2->setEditText("old text");
        box2->setFocus();
        QApplication::clipboard()->setText("胸部");
        paste->trigger();
        QCOMPARE(box2->currentText(), QStringLiteral("胸部"));

        form->pageControl()->setFocus(); // none of the six boxes
        QApplication::clipboard()->setText("zzz");
        paste->trigger();
        QCOMPARE(box2->currentText(), QStringLiteral("胸部"));
        QCOMPARE(form->idEdit()->text(), QStringLiteral("192"));
    }

    void pastedControlCharactersBecomeBlanks_data() {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("expected"); // pasted between "x" and "y", then "z" typed
        QTest::newRow("line_feed") << "a\nb"
                                   << "xa bzy";
        QTest::newRow("cr_lf") << "a\r\nb"
                               << "xa  bzy";
        QTest::newRow("carriage_return") << "a\rb"
                                         << "xa bzy";
        QTest::newRow("tab") << "a\tb"
                             << "xa bzy";
        QTest::newRow("bell") << "a\x07"
                                 "b"
                              << "xa bzy";
        QTest::newRow("escape_sequence") << "\x1b[1m"
                                         << "x [1mzy";
        QTest::newRow("trailing_line_feed") << "ab\n"
                                            << "xab zy";
        QTest::newRow("only_controls") << "\n\t"
                                       << "x  zy";
        QTest::newRow("plain_text") << QStringLiteral("胸部 a") << QStringLiteral("x胸部 azy");
    }

    void pastedControlCharactersBecomeBlanks() {
        QFETCH(QString, clipboard);
        QFETCH(QString, expected);
        TKeywordPanel panel;
        panel.show();
        QApplication::setActiveWindow(&panel);
        QVERIFY(QTest::qWaitForWindowActive(&panel));
        for (int row = 0; row < TKeywordPanel::Rows; ++row) {
            QLineEdit* edit = panel.keyBox(row)->lineEdit();
            edit->setFocus();
            QTest::keyClicks(edit, "xy");
            QTest::keyClick(edit, Qt::Key_Left);
            QApplication::clipboard()->setText(clipboard);
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
            QTest::keyClicks(edit, "z"); // typing goes on where the paste ended
            QCOMPARE(panel.keyBox(row)->currentText(), expected);
            QCOMPARE(panel.keywords()[size_t(row)], expected);
        }
    }

    void keywordBoxesBlankControlsFromTheMenuPasteAndTheList() {
        createIndex();
        writeFile(m_folder->filePath("Key1.txt"), "first\r\na\tb\r\n"); // the second has a tab
        auto form = start();
        QApplication::setActiveWindow(form.get());
        form->pageControl()->setCurrentIndex(int(TMainForm::Tab::Keywords));
        TKeywordPanel* panel = form->keywordPanel();

        QComboBox* box2 = panel->keyBox(1);
        box2->setFocus();
        QApplication::clipboard()->setText("line 1\nline 2");
        form->command(TMainForm::Command::Paste)->trigger();
        QCOMPARE(box2->currentText(), QStringLiteral("line 1 line 2"));

        QComboBox* box1 = panel->keyBox(0);
        box1->setFocus();
        QTest::keyClick(box1->lineEdit(), Qt::Key_Down); // chooses the list's second item
        QCOMPARE(box1->currentText(), QStringLiteral("a b"));
        QCOMPARE(panel->items(0), (QStringList{"first", "a\tb"})); // the list is left as it was
    }

    void everyCommandKeepsItsCaptionAndName() {
        using C = TMainForm::Command;
        struct Entry {
            C which;
            const char* caption;
            const char* objectName;
        };
        const Entry entries[] = {
            {C::ScannerIntake, "スキャナ画像読取", "ScannerIntake"},
            {C::FolderIntake, "フォルダー画像取込", "FolderIntake"},
            {C::ShowLog, "保存ログ", "ShowLog"},
            {C::AddScannerIntake, "スキャナフォルダーからの追加画像取込み", "AddScannerIntake"},
            {C::AddFolderIntake, "フォルダーからの画像追加取込み", "AddFolderIntake"},
            {C::ScanSelect, "Ｔｗａｉｎ装置選択", "ScanSelect"},
            {C::ScanAcquire, "Ｔｗａｉｎ読み取り", "ScanAcquire"},
            {C::FileImport, "ファイル　インポート", "FileImport"},
            {C::OpenLastChart, "最後のカルテを開く", "OpenLastChart"},
            {C::Quit, "プログラム終了", "Quit"},
            {C::ClearScannerFolder, "スキャナーフォルダーのクリア", "ClearScannerFolder"},
            {C::ClearLog, "ログのクリア", "ClearLog"},
            {C::ClearErrorLog, "エラーログのクリア", "ClearErrorLog"},
            {C::DeletePage, "ページの削除", "DeletePage"},
            {C::MovePageLeft, "ページを左へ移動", "MovePageLeft"},
            {C::MovePageRight, "ページを右へ移動", "MovePageRight"},
            {C::SelectBlankPages, "白紙ページを選択", "SelectBlankPages"},
            {C::StraightenPages, "選択ページの傾き補正", "StraightenPages"},
            {C::Paste, "貼り付け", "Paste"},
            {C::Redraw, "ページ確認の再描画", "Redraw"},
            {C::ShowErrorLog, "エラーログの表示", "ShowErrorLog"},
            {C::ReadSettings, "読込設定", "ReadSettings"},
            {C::SaveSettings, "保存設定", "SaveSettings"},
            {C::KeyLabelSettings, "検索キーラベル設定", "KeyLabelSettings"},
            {C::BarcodeSettings, "バーコード設定", "BarcodeSettings"},
            {C::PatientLookup, "患者番号照会", "PatientLookup"},
            {C::KeywordSearch, "検索", "KeywordSearch"},
            {C::ExistenceCheck, "カルテ存在確認", "ExistenceCheck"},
            {C::Maintenance, "メンテナンス(全件)", "Maintenance"},
            {C::RegistrationCheck, "カルテ登録確認", "RegistrationCheck"},
            {C::Help, "Tovani PeloraFile Basic ヘルプ", "Help"},
            {C::Support, "サポート", "Support"},
            {C::ProductInfo, "製品情報", "ProductInfo"},
        };
        createIndex();
        auto form = start();
        // Each command is its own action, in a menu or on the tool bar, under its own caption.
        QSet<QAction*> seen;
        for (const Entry& entry : entries) {
            QAction* a = form->command(entry.which);
            QVERIFY2(a, entry.objectName);
            QCOMPARE(a->text(), QString::fromUtf8(entry.caption));
            QCOMPARE(a->objectName(), QString::fromUtf8(entry.objectName));
            QVERIFY2(!seen.contains(a), entry.objectName);
            seen.insert(a);
        }
        // ... and no menu entry or tool button is left without a command to reach it.
        QSet<QAction*> shown;
        auto collect = [&shown](const QList<QAction*>& actions) {
            for (QAction* a : actions) {
                if (!a->isSeparator() && !a->menu() && !qobject_cast<QWidgetAction*>(a)) {
                    shown.insert(a);
                }
            }
        };
        for (QMenu* menu : form->menuBar()->findChildren<QMenu*>()) {
            collect(menu->actions());
        }
        collect(form->findChild<QToolBar*>("ToolBar")->actions());
        QCOMPARE(shown, seen);
    }

    void menuEnabling() {
        createIndex();
        auto form = start();
        QAction* acquire = form->command(TMainForm::Command::ScanAcquire);
        QVERIFY(acquire && !acquire->isEnabled());
        // The entries of "照会" and "ユーティリティ" have no rule of their own: always enabled.
        using C = TMainForm::Command;
        for (const C which : {C::PatientLookup, C::KeywordSearch, C::ExistenceCheck, C::Maintenance,
                              C::RegistrationCheck}) {
            QAction* a = form->command(which);
            QVERIFY(a);
            form->updateMenu(qobject_cast<QMenu*>(a->parent()));
            QVERIFY2(a->isEnabled(), qPrintable(a->text()));
        }
        QVERIFY(form->command(TMainForm::Command::Quit)->isEnabled());
        QVERIFY(form->saveButton()->isEnabled());

        // Adding intake and redrawing need the page check tab; deleting also a selected page.
        QAction* addIntake = form->command(TMainForm::Command::AddScannerIntake);
        QAction* redraw = form->command(TMainForm::Command::Redraw);
        QAction* deletePage = form->command(TMainForm::Command::DeletePage);
        auto menuOf = [](QAction* a) { return qobject_cast<QMenu*>(a->parent()); };
        for (const auto tab : {TMainForm::Tab::PageCheck, TMainForm::Tab::Keywords}) {
            form->pageControl()->setCurrentIndex(int(tab));
            const bool pageTab = tab == TMainForm::Tab::PageCheck;
            for (QAction* a : {addIntake, redraw, deletePage}) {
                form->updateMenu(menuOf(a));
            }
            QCOMPARE(addIntake->isEnabled(), pageTab);
            QCOMPARE(redraw->isEnabled(), pageTab);
            QVERIFY(!deletePage->isEnabled()); // no page selected
        }

        form->setStatusText(TMainForm::StatusPanel::Message, "message");
        form->updateMenu(
            qobject_cast<QMenu*>(form->command(TMainForm::Command::KeywordSearch)->parent()));
        QCOMPARE(form->statusText(TMainForm::StatusPanel::Message),
                 QString()); // opening "照会" empties panel 2
    }

    void deletePageRemovesTheHighlightedPage_data() {
        QTest::addColumn<QList<int>>("keys");      // pressed after a left click on page 1
        QTest::addColumn<int>("rightClickedPage"); // then right-clicked, 0: none
        QTest::addColumn<DeleteBy>("by");
        QTest::addColumn<QString>("deleted");
        const struct {
            const char* name;
            QList<int> keys;
            int rightClickedPage;
            const char* deleted;
        } cases[] = {
            {"clicked", {}, 0, "1.jpg"},
            {"right_twice", {Qt::Key_Right, Qt::Key_Right}, 0, "3.jpg"},
            {"right_twice_left", {Qt::Key_Right, Qt::Key_Right, Qt::Key_Left}, 0, "2.jpg"},
            {"end", {Qt::Key_End}, 0, "4.jpg"},
            {"end_home", {Qt::Key_End, Qt::Key_Home}, 0, "1.jpg"},
            {"page_down", {Qt::Key_PageDown}, 0, "4.jpg"},
            {"down", {Qt::Key_Down}, 0, "4.jpg"},
            {"page_down_up", {Qt::Key_PageDown, Qt::Key_PageUp}, 0, "1.jpg"},
            {"right_click_elsewhere", {}, 3, "1.jpg"},
            {"right_click_after_a_key", {Qt::Key_Right}, 4, "2.jpg"},
            {"right_click_on_itself", {Qt::Key_End}, 4, "4.jpg"},
        };
        for (const auto& c : cases) {
            for (const auto by : {DeleteBy::DeleteKey, DeleteBy::MenuClick}) {
                QTest::addRow("%s/%s", c.name, by == DeleteBy::DeleteKey ? "key" : "menu")
                    << c.keys << c.rightClickedPage << by << QString(c.deleted);
            }
        }
    }

    void deletePageRemovesTheHighlightedPage() {
        QFETCH(QList<int>, keys);
        QFETCH(int, rightClickedPage);
        QFETCH(DeleteBy, by);
        QFETCH(QString, deleted);
        auto form = startWithFourPages();
        TPageListView* view = form->pageListView();
        QSignalSpy editRequests(&form->workspace(), &PageWorkspace::editRequested);

        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pageCentre(view, 0));
        for (const int key : keys) {
            QTest::keyClick(view, Qt::Key(key));
        }
        const int highlighted = highlightedRow(view);
        QVERIFY(highlighted >= 0);
        if (rightClickedPage > 0) {
            QTest::mouseClick(view->viewport(), Qt::RightButton, {},
                              pageCentre(view, rightClickedPage - 1));
            QCOMPARE(editRequests.size(), 1);
            QCOMPARE(editRequests.at(0).at(0).toInt(), rightClickedPage - 1);
            QCOMPARE(highlightedRow(view), highlighted); // the right click left it alone
        }
        QCOMPARE(form->selectedPageIndex(), highlighted);

        deletePageBy(*form, by);
        QStringList remaining{"1.jpg", "2.jpg", "3.jpg", "4.jpg"};
        remaining.removeOne(deleted);
        QCOMPARE(pageNames(*form), remaining);
        QCOMPARE(view->count(), 3);
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(view->item(row)->toolTip(), QDir(scannerFolder()).filePath(remaining[row]));
        }
        // The page after the deleted one is highlighted and is what the next delete removes.
        const int next = highlighted < 3 ? highlighted : -1;
        QCOMPARE(highlightedRow(view), next);
        QCOMPARE(form->selectedPageIndex(), next);
        QCOMPARE(form->command(TMainForm::Command::DeletePage)->isEnabled(), next >= 0);
    }

    void deletingEndsAtTheLastPageAndAtEmptySpace() {
        auto form = startWithFourPages();
        TPageListView* view = form->pageListView();
        QAction* entry = form->command(TMainForm::Command::DeletePage);
        QCOMPARE(highlightedRow(view), 0); // intake highlights the first page
        QVERIFY(entry->isEnabled());

        view->setFocus();
        QTest::keyClick(view, Qt::Key_End);
        QTest::keyClick(view, Qt::Key_Delete);
        QTest::keyClick(view, Qt::Key_Delete); // nothing follows the last page: nothing goes
        QCOMPARE(pageNames(*form), (QStringList{"1.jpg", "2.jpg", "3.jpg"}));
        QCOMPARE(highlightedRow(view), -1);
        QVERIFY(!entry->isEnabled());

        QTest::keyClick(view, Qt::Key_Home); // the keys bring the command back
        QVERIFY(entry->isEnabled());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pageCentre(view, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          pageCentre(view, 1));
        QCOMPARE(highlightedRow(view), 1); // Ctrl+click does not take the highlight off

        const QRect last = view->visualItemRect(view->item(2));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          QPoint(view->viewport()->width() - 2, last.bottom() + 40));
        QCOMPARE(highlightedRow(view), -1);
        QCOMPARE(form->selectedPageIndex(), -1);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(pageNames(*form), (QStringList{"1.jpg", "2.jpg", "3.jpg"}));
    }

    void deleteKeyLeavesTextBoxesAndOtherTabsAlone() {
        auto form = startWithFourPages();
        TPageListView* view = form->pageListView();
        QAction* entry = form->command(TMainForm::Command::DeletePage);
        const QStringList all{"1.jpg", "2.jpg", "3.jpg", "4.jpg"};

        // A caption being edited: Delete removes the character after the caret.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_F2);
        auto* caption = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(caption && view->isAncestorOf(caption));
        QTest::keyClicks(caption, "abc");
        QTest::keyClick(caption, Qt::Key_Home);
        QTest::keyClick(caption, Qt::Key_Delete);
        QTest::keyClick(caption, Qt::Key_Return);
        QTRY_COMPARE(form->workspace().pages().at(0).Shiori, QStringLiteral("bc")); // queued commit
        QCOMPARE(pageNames(*form), all);

        // The patient number box on the tool bar, with the page tab showing.
        form->idEdit()->setText("123");
        form->idEdit()->setFocus();
        QTest::keyClick(form->idEdit(), Qt::Key_Home);
        QTest::keyClick(form->idEdit(), Qt::Key_Delete);
        QCOMPARE(form->idEdit()->text(), QStringLiteral("23"));
        QCOMPARE(pageNames(*form), all);

        // A keyword box: the keyword tab is showing, so the command is off as well.
        form->pageControl()->setCurrentIndex(int(TMainForm::Tab::Keywords));
        QVERIFY(!entry->isEnabled());
        QComboBox* box = form->keywordPanel()->keyBox(0);
        box->setFocus();
        QTest::keyClicks(box->lineEdit(), "xyz");
        QTest::keyClick(box->lineEdit(), Qt::Key_Home);
        QTest::keyClick(box->lineEdit(), Qt::Key_Delete);
        QCOMPARE(box->currentText(), QStringLiteral("yz"));
        form->keywordPanel()->clearAllButton()->setFocus(); // no text box has the focus
        QTest::keyClick(form->keywordPanel()->clearAllButton(), Qt::Key_Delete);
        QCOMPARE(pageNames(*form), all);

        form->pageControl()->setCurrentIndex(int(TMainForm::Tab::PageCheck));
        QVERIFY(entry->isEnabled()); // without the menu having been opened
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(pageNames(*form), all.mid(1));
    }

    void helpOpensTheHelpFileOrSaysWhereTheManualBelongs() {
        createIndex();
        auto form = start();
        // No help file and no manual: no web address is opened (a clinic may be offline); the
        // message names where the manual is looked for.
        QString message;
        m_prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
            message = static_cast<QMessageBox&>(dialog).text();
            return int(QMessageBox::Ok);
        });
        form->command(TMainForm::Command::Help)->trigger();
        QVERIFY(m_opener.opened.isEmpty());
        QCOMPARE(m_prompts.shownDialogs.last(), QStringLiteral("ManualMissing"));
        QVERIFY2(message.contains(m_folder->filePath("manual/index.html")), qPrintable(message));

        writeFile(m_folder->filePath("PeloraFileBasic.chm"), "help");
        form->command(TMainForm::Command::Help)->trigger();
        QCOMPARE(m_opener.opened.at(0),
                 QUrl::fromLocalFile(m_folder->filePath("PeloraFileBasic.chm")));
        form->command(TMainForm::Command::Support)->trigger();
        QCOMPARE(m_opener.opened.at(1).scheme(), QStringLiteral("https"));
    }

    void uncaughtErrorsReachTheGeneralErrorReport() {
        createIndex();
        auto form = start();
        form->runCommand([] { throw std::runtime_error("disk full while writing"); });
        QCOMPARE(m_prompts.errors, QStringList{"disk full while writing"});

        // Errors thrown inside event handlers end at the application object, too.
        auto* app = static_cast<PeloraFileApplication*>(QCoreApplication::instance());
        QStringList reported;
        app->setErrorReport([&](const QString& text) { reported << text; });
        QObject thrower;
        QObject::connect(&thrower, &QObject::destroyed, [] {});
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [] { throw std::runtime_error("from a slot"); });
        timer.start(0);
        QTRY_COMPARE(reported, QStringList{"from a slot"});
        QVERIFY(form->isVisible()); // the program goes on
        app->setErrorReport({});
    }
};

int main(int argc, char** argv) {
    PeloraFileApplication app(argc, argv);
    TMainFormTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tmainform_test.moc"
