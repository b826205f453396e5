#include "app/keywordpanel.h"
#include "app/pelorafileapplication.h"
#include "app/tmainform.h"
#include "index/chartindexschema.h"
#include "platform/registryfile.h"
#include "settings/tregistory.h"
#include "support/fakeprompts.h"

#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
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

} // namespace

class TMainFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;

    QString settingsPath() const { return m_folder->filePath("config/Tovani/registry.reg"); }

    AppServices services() {
        AppServices s;
        s.programFolder = m_folder->path();
        s.settingsPath = settingsPath();
        s.prompts = &m_prompts;
        s.urlOpener = &m_opener;
        return s;
    }

    void createIndex() {
        QString error;
        QVERIFY2(chartindex::createEmptyIndex(m_folder->filePath(chartindex::fileName), &error),
                 qPrintable(error));
    }

    /// A main window as the program starts it: created, windows created, shown.
    std::unique_ptr<TMainForm> start() {
        auto form = std::make_unique<TMainForm>(services());
        form->createWindows();
        form->show();
        QCoreApplication::processEvents(); // lets the queued index check run
        return form;
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
        writeFile(m_folder->filePath("Key1.txt"), "胸部\nfoo\n\nbar");
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
        QAction* paste = form->action("貼り付け");
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

    void menuEnabling() {
        createIndex();
        auto form = start();
        QAction* acquire = form->action("Ｔｗａｉｎ読み取り");
        QVERIFY(acquire && !acquire->isEnabled());
        // Entries whose commands are not in this build stay disabled whatever the rules say.
        for (const char* text :
             {"患者番号照会", "検索", "カルテ存在確認", "メンテナンス(全件)", "カルテ登録確認"}) {
            QAction* a = form->action(QString::fromUtf8(text));
            QVERIFY2(a, text);
            form->updateMenu(qobject_cast<QMenu*>(a->parent()));
            QVERIFY2(!a->isEnabled(), text);
        }
        QVERIFY(form->action("プログラム終了")->isEnabled());
        QVERIFY(form->saveButton()->isEnabled());

        // Adding intake and redrawing need the page check tab; deleting also a selected page.
        QAction* addIntake = form->action("スキャナフォルダーからの追加画像取込み");
        QAction* redraw = form->action("ページ確認の再描画");
        QAction* deletePage = form->action("ページの削除");
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

        form->setStatusText(1, "message");
        form->updateMenu(qobject_cast<QMenu*>(form->action("検索")->parent()));
        QCOMPARE(form->statusText(1), QString()); // opening "照会" empties panel 1
    }

    void helpOpensTheHelpFileOrTheSupportPage() {
        createIndex();
        auto form = start();
        form->action("Tovani PeloraFile Basic ヘルプ")->trigger();
        QCOMPARE(m_opener.opened.size(), 1);
        QCOMPARE(m_opener.opened.at(0).scheme(), QStringLiteral("https"));

        writeFile(m_folder->filePath("PeloraFileBasic.chm"), "help");
        form->action("Tovani PeloraFile Basic ヘルプ")->trigger();
        QCOMPARE(m_opener.opened.at(1),
                 QUrl::fromLocalFile(m_folder->filePath("PeloraFileBasic.chm")));
        form->action("サポート")->trigger();
        QCOMPARE(m_opener.opened.at(2), m_opener.opened.at(0));
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
