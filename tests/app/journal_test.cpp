// SPDX-License-Identifier: GPL-3.0-or-later
// The work journal: its file format refuses anything but a whole journal of its own version, the
// writer keeps the journal whole and merges changes, one program holds a scanner folder's
// journal, and the main window brings back work that was not saved.

#include "app/journaldialogs.h"
#include "app/journalsession.h"
#include "app/journalwriter.h"
#include "app/keywordpanel.h"
#include "app/pageworkspace.h"
#include "app/tmainform.h"
#include "app/tpagelistview.h"
#include "app/warningdialogs.h"
#include "app/workjournal.h"
#include "index/chartindexschema.h"
#include "platform/registryfile.h"
#include "settings/foldertree.h"
#include "settings/tregistory.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"
#include "support/testimages.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using workjournal::Page;
using workjournal::Work;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

Work sampleWork() {
    Work work;
    work.scannerFolder = QStringLiteral("/scans/受付 1");
    work.pages.push_back(
        Page{QStringLiteral("/scans/受付 1/001.jpg"),
             scannerfolder::FileIdentity{2049, 1234567890123ULL, 48213, 1718000000123456789LL},
             QStringLiteral("紹介状"),
             QStringList{QStringLiteral("一行目"), QString(),
                         QStringLiteral("tab\there \"quoted\" \\ end")}});
    work.pages.push_back(
        Page{QStringLiteral("/scans/受付 1/002.png"), std::nullopt, QString(), std::nullopt});
    work.pages.push_back(Page{QStringLiteral("/scans/受付 1/003.tif"),
                              scannerfolder::FileIdentity{1, 2, 0, -5}, QStringLiteral("検査"),
                              QStringList{}});
    work.patientText = QStringLiteral("12345678");
    work.serialText = QStringLiteral("2");
    work.keywords = {QStringLiteral("内科"), QString(), QStringLiteral("line\nbreak"),
                     QStringLiteral("四")};
    return work;
}

/// A journal whose version line says \p version, with a checksum that fits.
QByteArray journalOfVersion(int version) {
    QByteArray bytes = workjournal::serialize(sampleWork(), QDateTime::currentDateTimeUtc());
    bytes.replace(QByteArray("version ") + QByteArray::number(workjournal::FormatVersion) + '\n',
                  QByteArray("version ") + QByteArray::number(version) + '\n');
    bytes.truncate(bytes.lastIndexOf("sha256 "));
    return bytes + "sha256 " + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() +
           '\n';
}

/// Answers the restore question by clicking the button the operator clicks, after checking that
/// 復元 is the default button.
FakePrompts::DialogAnswer clickRestoreButton(const char* button) {
    return [button](QDialog& dialog) {
        auto* restore = dialog.findChild<QPushButton*>("RestoreButton");
        auto* pressed = dialog.findChild<QPushButton*>(button);
        if (!restore || !restore->isDefault() || !pressed) {
            return -1;
        }
        QTest::mouseClick(pressed, Qt::LeftButton);
        return dialog.result();
    };
}

} // namespace

class JournalTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString scanner() const { return path("scanner"); }
    QString state() const { return path("state"); }
    QString journalFile() const { return workjournal::journalPath(state(), scanner()); }

    void scanPages(const QStringList& names) {
        for (const QString& name : names) {
            QVERIFY(testimages::save(testimages::page(120, 160), scanner() + '/' + name));
        }
    }

    void writeSettings() {
        TRegistory settings;
        settings.ScannerDir = scanner();
        settings.Target = path("archive");
        settings.HPCode = "77";
        settings.WriteDate = false;
        settings.FolderClear = true;
        RegistryFile registry;
        settings.SaveToRegistry(registry);
        QVERIFY(registry.save(path("program/registry.reg")));
    }

    std::unique_ptr<TMainForm> startWindow(FakePrompts& prompts, FakeUrlOpener& opener) {
        MainWindowStart start;
        start.programFolder = path("program");
        start.prompts = &prompts;
        start.opener = &opener;
        start.stateFolder = state();
        return startMainWindow(start);
    }

    static void flush(TMainForm& form) {
        // The copy is taken once the window is idle again; a change that reaches the window
        // through queued events starts the journal's timer only when they have run.
        QTest::qWait(20);
        QCoreApplication::processEvents();
        form.journal()->writer().flush();
    }

    static QStringList captions(TMainForm& form) {
        QStringList out;
        const PageList& pages = form.workspace().pages();
        for (int i = 0; i < pages.count(); ++i) {
            out << pages.at(i).Shiori;
        }
        return out;
    }

    /// A window with pages 1..4 taken in, then worked on through the keyboard and mouse.
    std::unique_ptr<TMainForm> windowWithWork(FakePrompts& prompts, FakeUrlOpener& opener) {
        auto form = startWindow(prompts, opener);
        form->command(TMainForm::Command::ScannerIntake)->trigger();
        form->workspace().waitForThumbnails();
        QCoreApplication::processEvents();
        TPageListView* list = form->pageListView();
        list->setFocus();
        form->workspace().setSelectedIndex(0);
        QTest::keyClick(list, Qt::Key_Right, Qt::ControlModifier); // 2 1 3 4
        form->workspace().setPageTexts(1, QStringLiteral("紹介状"),
                                       QStringList{QStringLiteral("注釈"), QStringLiteral("二行")});
        form->workspace().setPageTexts(3, QStringLiteral("検査"), std::nullopt);
        QTest::keyClicks(form->idEdit(), QStringLiteral("4711"));
        form->volNoEdit()->selectAll();
        QTest::keyClicks(form->volNoEdit(), QStringLiteral("3"));
        QTest::keyClicks(form->keywordPanel()->keyBox(1)->lineEdit(), QStringLiteral("cardio"));
        return form;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(scanner());
        QDir().mkpath(path("archive"));
        QDir().mkpath(path("program"));
        QString error;
        QVERIFY(chartindex::createEmptyIndex(path("program/") + chartindex::fileName, &error));
        writeSettings();
        scanPages({"1.jpg", "2.jpg", "3.jpg", "4.jpg"});
    }

    void journalReadsBackWhatWasWritten() {
        const Work work = sampleWork();
        const QDateTime written = QDateTime::fromMSecsSinceEpoch(1718000000123, Qt::UTC);
        const workjournal::Parsed parsed =
            workjournal::parse(workjournal::serialize(work, written));
        QVERIFY2(parsed.work, qPrintable(parsed.error));
        QVERIFY(*parsed.work == work);
        QCOMPARE(parsed.written, written);
    }

    void journalCutShortOrDamagedIsRefused() {
        const QByteArray whole =
            workjournal::serialize(sampleWork(), QDateTime::currentDateTimeUtc());
        for (qsizetype size = 0; size < whole.size(); ++size) {
            const workjournal::Parsed parsed = workjournal::parse(whole.left(size));
            QVERIFY2(
                !parsed.work && !parsed.error.isEmpty(),
                qPrintable(QString("accepted when cut at %1 of %2").arg(size).arg(whole.size())));
        }
        QByteArray flipped = whole;
        flipped[whole.indexOf("紹介状")] = 'X';
        QVERIFY(!workjournal::parse(flipped).work);
        QVERIFY(!workjournal::parse(whole + "x").work);
    }

    void journalOfAnotherVersionIsRefused_data() {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("says");
        QTest::newRow("older") << 0 << QStringLiteral("古い版");
        QTest::newRow("newer") << workjournal::FormatVersion + 1 << QStringLiteral("新しい版");
    }
    void journalOfAnotherVersionIsRefused() {
        QFETCH(int, version);
        QFETCH(QString, says);
        const workjournal::Parsed parsed = workjournal::parse(journalOfVersion(version));
        QVERIFY(!parsed.work);
        QCOMPARE(parsed.version, version);
        QVERIFY2(parsed.error.contains(says), qPrintable(parsed.error));
    }

    void writerMergesChangesAndKeepsTheIdentityOfATakenPage() {
        JournalWriter writer(std::chrono::milliseconds(300));
        const QString journal = path("w.journal");
        const QString page = scanner() + "/1.jpg";
        const auto first = scannerfolder::identify(page);
        Work work;
        work.pages.push_back(Page{page, std::nullopt, QString(), std::nullopt});
        for (int i = 0; i < 50; ++i) {
            work.patientText = QString::number(i);
            writer.record(journal, work);
        }
        writer.flush();
        QVERIFY2(writer.writes() <= 2, qPrintable(QString::number(writer.writes())));
        auto read = workjournal::read(journal);
        QVERIFY(read.work);
        QCOMPARE(read.work->patientText, QStringLiteral("49"));
        QVERIFY(read.work->pages.at(0).identity == first);
        QVERIFY(!QFile::exists(workjournal::temporaryPath(journal)));

        // Another scan under the page's name is not the page that was taken in...
        QVERIFY(QFile::remove(page));
        scanPages({"1.jpg"});
        const auto second = scannerfolder::identify(page);
        QVERIFY(second && !(*second == *first));
        writer.record(journal, work);
        writer.flush();
        QVERIFY(workjournal::read(journal).work->pages.at(0).identity == first);
        // ...but the page editor's rewrite of it is.
        writer.rewritten(page);
        writer.record(journal, work);
        writer.flush();
        QVERIFY(workjournal::read(journal).work->pages.at(0).identity == second);

        writer.end(journal);
        writer.flush();
        QVERIFY(!QFile::exists(journal));
    }

    void oneProgramHoldsAFolderJournal() {
        JournalSession first(state());
        JournalSession second(state());
        QString error;
        QCOMPARE(first.claim(scanner(), &error), JournalSession::Claim::Claimed);
        // The same folder under another spelling is the same journal.
        QVERIFY(QFile::link(scanner(), path("link")));
        QCOMPARE(second.claim(path("link") + '/', &error), JournalSession::Claim::InUse);
        QCOMPARE(second.claim(path("archive"), &error), JournalSession::Claim::Claimed);
        first.release();
        QCOMPARE(second.claim(scanner(), &error), JournalSession::Claim::Claimed);
        QCOMPARE(second.path(), journalFile());
    }

    void windowBringsBackWorkLeftByAKilledRun() {
        FakePrompts prompts;
        FakeUrlOpener opener;
        {
            auto form = windowWithWork(prompts, opener);
            QCOMPARE(pageNames(*form), (QStringList{"2.jpg", "1.jpg", "3.jpg", "4.jpg"}));
            flush(*form);
            QVERIFY(QFile::exists(journalFile()));
            // Destroyed without its closing steps, as a killed program is.
        }
        // Meanwhile one page file went, one was scanned again, and a new page arrived.
        QVERIFY(QFile::remove(scanner() + "/3.jpg"));
        QVERIFY(QFile::remove(scanner() + "/4.jpg"));
        scanPages({"4.jpg", "5.jpg"});

        FakePrompts again;
        again.dialogAnswers.enqueue(clickRestoreButton("RestoreButton"));
        again.answerNextDialog(QDialog::Accepted); // the pages that were left out
        auto form = startWindow(again, opener);
        QCOMPARE(again.shownDialogs, (QStringList{"RestoreQuestion", "PagesNotRestored"}));
        auto* question = form->findChild<TRestoreQuestion*>();
        QVERIFY(question->summary().contains("4 ページ"));
        QVERIFY(question->summary().contains("4711"));
        QCOMPARE(pageNames(*form), (QStringList{"2.jpg", "1.jpg"}));
        QCOMPARE(form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("前回の作業を復元しました。"
                                "取り込んでいない画像がスキャナフォルダーに 2 枚あります。"));
        QCOMPARE(captions(*form), (QStringList{"", "紹介状"}));
        QVERIFY(!form->workspace().pages().at(0).Note);
        QCOMPARE(form->workspace().pages().at(1).Note,
                 (QStringList{QStringLiteral("注釈"), QStringLiteral("二行")}));
        QCOMPARE(form->idEdit()->text(), QStringLiteral("4711"));
        QCOMPARE(form->volNoEdit()->text(), QStringLiteral("3"));
        QCOMPARE(form->keywordPanel()->keywords()[1], QStringLiteral("cardio"));
        auto* notRestored = form->findChild<TFileListWarning*>("PagesNotRestored");
        QCOMPARE(notRestored->names(),
                 (QStringList{"3.jpg（ファイルがありません）",
                              "4.jpg（別のファイルに差し替えられています）"}));
        QCOMPARE(form->pageListView()->item(1)->text(), QStringLiteral("紹介状"));

        // The journal now holds the work as restored, and the next change follows.
        flush(*form);
        QCOMPARE(workjournal::read(journalFile()).work->pages.size(), size_t(2));
        form->pageListView()->setFocus();
        form->workspace().setSelectedIndex(1);
        QTest::keyClick(form->pageListView(), Qt::Key_Left, Qt::ControlModifier);
        flush(*form);
        const auto read = workjournal::read(journalFile());
        QCOMPARE(read.work->pages.at(0).imageFile, scanner() + "/1.jpg");
        QCOMPARE(read.work->pages.at(0).shiori, QStringLiteral("紹介状"));
    }

    void discardPutsTheJournalAsideAndKeepsEveryPage() {
        FakePrompts prompts;
        FakeUrlOpener opener;
        {
            auto form = windowWithWork(prompts, opener);
            flush(*form);
        }
        const QByteArray left = readAll(journalFile());
        FakePrompts again;
        again.dialogAnswers.enqueue(clickRestoreButton("DiscardButton"));
        auto form = startWindow(again, opener);
        QCOMPARE(again.shownDialogs, QStringList{"RestoreQuestion"});
        QVERIFY(form->workspace().pages().isEmpty());
        QVERIFY(!QFile::exists(journalFile()));
        QCOMPARE(readAll(workjournal::asidePath(journalFile())), left);
        QCOMPARE(QDir(scanner()).entryList(QDir::Files, QDir::Name),
                 (QStringList{"1.jpg", "2.jpg", "3.jpg", "4.jpg"}));
    }

    void refusedJournalIsMovedAsideAndTheProgramStarts_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray whole =
            workjournal::serialize(sampleWork(), QDateTime::currentDateTimeUtc());
        QTest::newRow("cut short") << whole.left(whole.size() / 2);
        QTest::newRow("older version") << journalOfVersion(0);
        QTest::newRow("empty") << QByteArray();
    }
    void refusedJournalIsMovedAsideAndTheProgramStarts() {
        QFETCH(QByteArray, bytes);
        QDir().mkpath(state());
        writeAll(journalFile(), bytes);
        FakePrompts prompts;
        FakeUrlOpener opener;
        auto form = startWindow(prompts, opener);
        QCOMPARE(prompts.shownDialogs, QStringList{"JournalRefused"});
        QVERIFY(!QFile::exists(journalFile()));
        QCOMPARE(readAll(workjournal::asidePath(journalFile())), bytes);
        form->command(TMainForm::Command::ScannerIntake)->trigger();
        form->workspace().waitForThumbnails();
        QCOMPARE(form->workspace().pages().count(), 4);
        flush(*form);
        QVERIFY(workjournal::read(journalFile()).work);
    }

    void savingReplacingAndClosingEndTheJournal() {
        FakePrompts prompts;
        FakeUrlOpener opener;
        auto form = windowWithWork(prompts, opener);
        flush(*form);
        QVERIFY(QFile::exists(journalFile()));

        // An intake that replaces the list starts the journal anew with its pages alone.
        scanPages({"5.jpg"});
        form->command(TMainForm::Command::ScannerIntake)->trigger();
        form->workspace().waitForThumbnails();
        flush(*form);
        auto read = workjournal::read(journalFile());
        QCOMPARE(read.work->pages.size(), size_t(5));
        QCOMPARE(read.work->pages.at(0).shiori, QString());
        QCOMPARE(read.work->patientText, QString());

        form->idEdit()->setText("4711");
        QTest::mouseClick(form->saveButton(), Qt::LeftButton);
        form->waitForSave();
        QCOMPARE(form->statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("保存しました。"));
        flush(*form);
        QVERIFY(!QFile::exists(journalFile()));

        scanPages({"6.jpg"});
        form->command(TMainForm::Command::ScannerIntake)->trigger();
        form->workspace().waitForThumbnails();
        flush(*form);
        QVERIFY(QFile::exists(journalFile()));
        prompts.questionAnswers.enqueue(QMessageBox::Yes); // the creation log is not saved
        QVERIFY(form->close());
        QVERIFY(!QFile::exists(journalFile()));
        JournalSession next(state());
        QString error;
        QCOMPARE(next.claim(scanner(), &error), JournalSession::Claim::Claimed);
    }

    void journalFollowsTheScannerFolderOnceTheListIsDone() {
        const QString other = path("other");
        QDir().mkpath(other);
        QVERIFY(testimages::save(testimages::page(120, 160), other + "/9.jpg"));
        // A journal that a crash left for the other folder.
        Work left;
        left.scannerFolder = other;
        left.pages.push_back(Page{other + "/9.jpg", scannerfolder::identify(other + "/9.jpg"),
                                  QStringLiteral("old"), std::nullopt});
        const QString otherJournal = workjournal::journalPath(state(), other);
        QDir().mkpath(state());
        writeAll(otherJournal, workjournal::serialize(left, QDateTime::currentDateTimeUtc()));

        FakePrompts prompts;
        FakeUrlOpener opener;
        auto form = windowWithWork(prompts, opener);
        flush(*form);
        auto chooseFolder = [&](const QString& folder) {
            prompts.dialogAnswers.enqueue([folder](QDialog& dialog) {
                dialog.findChild<FolderTree*>("FolderTree")->selectFolder(folder);
                QMetaObject::invokeMethod(&dialog, "onSetClicked");
                return dialog.result();
            });
            form->command(TMainForm::Command::ReadSettings)->trigger();
        };
        JournalSession probe(state());
        QString error;

        // The pages of the first folder keep their journal, and the folder its claim.
        chooseFolder(other);
        QCOMPARE(form->settings().ScannerDir, other);
        QCOMPARE(probe.claim(scanner(), &error), JournalSession::Claim::InUse);
        QCOMPARE(probe.claim(other, &error), JournalSession::Claim::Claimed);
        probe.release();
        form->workspace().setPageTexts(0, QStringLiteral("still"), std::nullopt);
        flush(*form);
        QCOMPARE(workjournal::read(journalFile()).work->pages.at(0).shiori,
                 QStringLiteral("still"));

        // An intake that replaces them moves over; the journal left there is put aside, not
        // offered in the middle of the intake.
        form->command(TMainForm::Command::ScannerIntake)->trigger();
        form->workspace().waitForThumbnails();
        flush(*form);
        QVERIFY(!QFile::exists(journalFile()));
        QCOMPARE(pageNames(*form), QStringList{"9.jpg"});
        QCOMPARE(workjournal::read(otherJournal).work->pages.at(0).shiori, QString());
        QVERIFY(workjournal::read(workjournal::asidePath(otherJournal)).work == left);
        QCOMPARE(probe.claim(scanner(), &error), JournalSession::Claim::Claimed);
        probe.release();
        QCOMPARE(probe.claim(other, &error), JournalSession::Claim::InUse);

        // With the list emptied the journal follows the setting at once.
        form->workspace().setSelectedIndex(0);
        form->command(TMainForm::Command::DeletePage)->trigger();
        flush(*form);
        chooseFolder(scanner());
        QCOMPARE(probe.claim(other, &error), JournalSession::Claim::Claimed);
        QCOMPARE(probe.claim(scanner(), &error), JournalSession::Claim::InUse);
        QVERIFY(!prompts.shownDialogs.contains("RestoreQuestion"));
    }

    void secondWindowOnTheFolderSaysItIsInUse() {
        FakePrompts prompts;
        FakeUrlOpener opener;
        auto first = windowWithWork(prompts, opener);
        flush(*first);
        const QByteArray firstJournal = readAll(journalFile());

        FakePrompts secondPrompts;
        auto second = startWindow(secondPrompts, opener);
        QCOMPARE(secondPrompts.shownDialogs, QStringList{"JournalInUse"});
        second->command(TMainForm::Command::ScannerIntake)->trigger();
        second->workspace().waitForThumbnails();
        QCoreApplication::processEvents();
        second->journal()->writer().flush();
        QCOMPARE(readAll(journalFile()), firstJournal);
        QVERIFY(second->close());
        QCOMPARE(readAll(journalFile()), firstJournal);
    }
};

QTEST_MAIN(JournalTest)
#include "journal_test.moc"
