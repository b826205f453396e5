// SPDX-License-Identifier: GPL-3.0-or-later
// The chart registration check window, driven with clicks and keys on both index backends.

#include "index/chartverification.h"
#include "index/maintenance/maintenancetexts.h"
#include "index/maintenance/statuspanels.h"
#include "index/maintenance/tdbregchkform.h"
#include "maintenancetesting.h"
#include "platform/programfiles.h"
#include "platform/rtfwriter.h"
#include "platform/sha256.h"
#include "settings/foldertree.h"
#include "settings/tregistory.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSet>
#include <unistd.h>

namespace texts = maintenance::texts;
using Panel = StatusPanels::Panel;

namespace {

QSet<QString> asSet(const QStringList& list) {
    return QSet<QString>(list.begin(), list.end());
}

} // namespace

class RegistrationCheckTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        m_settings.Target = m_archive.path();
        m_settings.KeyLabel1 = "病名";
        m_form = std::make_unique<TDBRegChkForm>(m_index, m_settings, m_prompts);
        m_form->prepareToShow();
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    }

    /// Clicks \p path in the folder tree, as the operator does.
    void clickFolder(const QString& path) {
        FolderTree* tree = m_form->folderTree();
        auto* model = qobject_cast<QFileSystemModel*>(tree->model());
        QModelIndex index;
        ASSERT_TRUE(QTest::qWaitFor([&] {
            index = model->index(path);
            for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) {
                tree->expand(up);
            }
            tree->scrollTo(index);
            return index.isValid() && !tree->visualRect(index).isEmpty();
        })) << path.toStdString();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(index).center());
        ASSERT_EQ(m_form->chosenFolder(), path);
    }

    void explore() {
        QTest::mouseClick(m_form->exploreButton(), Qt::LeftButton);
        waitForWalk();
    }
    void waitForWalk() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_form->isWalking(); }, 60000));
    }

    void type(QWidget* box, const QString& text) {
        if (auto* edit = qobject_cast<QLineEdit*>(box)) {
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
        }
        typeText(box, text);
    }
    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    QString panel(Panel which) const { return m_form->status()->text(which); }

    /// Clicks "次へ" until \p path is the current file.
    void stepTo(const QString& path) {
        while (m_form->currentFile() != path && m_form->nextButton()->isEnabled()) {
            click(m_form->nextButton());
        }
        ASSERT_EQ(m_form->currentFile(), path);
    }

    TRegistory m_settings;
    std::unique_ptr<TDBRegChkForm> m_form;
};

TEST_P(RegistrationCheckTest, OnlyAFolderInsideTheArchiveIsWalked) {
    makeFile("00/00/00/01/HP_1_0.pdf");
    const QString sibling = m_archive.path() + "2"; // "/tmp/x2" begins with "/tmp/x"
    ASSERT_TRUE(QDir().mkpath(sibling));
    QFile(sibling + "/HP_1_0.pdf").open(QIODevice::WriteOnly);
    const struct {
        const char* name;
        QString folder; // empty: no click since the window opened
        bool walked;
    } cases[] = {
        {"no folder chosen", {}, false},
        {"the archive itself", m_archive.path(), true},
        {"a folder inside", archivePath("00/00"), true},
        {"a sibling whose name begins like it", sibling, false},
        {"the folder above", QFileInfo(m_archive.path()).absolutePath(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_form->prepareToShow(); // reopening asks for a new click
        if (!c.folder.isEmpty()) {
            clickFolder(c.folder);
        }
        explore();
        EXPECT_EQ(panel(Panel::Message), c.walked ? QString() : texts::FolderRefused);
        EXPECT_EQ(m_form->log()->lineCount(), c.walked ? 1 : 0);
        EXPECT_TRUE(m_form->exploreButton()->isEnabled());
        EXPECT_FALSE(m_form->interruptButton()->isEnabled());
    }
    m_settings.Target.clear(); // an empty archive base folder holds nothing
    clickFolder(archivePath("00/00"));
    explore();
    EXPECT_EQ(panel(Panel::Message), texts::FolderRefused);
    QDir(sibling).removeRecursively();
}

TEST_P(RegistrationCheckTest, TheProgramsOwnFilesAreNeverOffered) {
    const QString chart = makeFile("00/00/00/05/HP_5_0.pdf");
    makeFile("00/00/00/05/.pelorafile.lock");                                 // a save's lock
    makeFile("00/00/00/05/.HP_5_1.pdf.0123456789abcdef0123456789abcdef.tmp"); // being written
    makeFile(".pelorafile-spool/00000001/0001.jpg");                          // a spool
    clickFolder(m_archive.path());
    explore();
    EXPECT_EQ(m_form->log()->lines(), QStringList{chart});
    EXPECT_EQ(m_form->candidates(), QStringList{chart});
}

TEST_P(RegistrationCheckTest, ALinkLeadingOutOfTheArchiveIsRefused) {
    QTemporaryDir outside;
    QFile(outside.filePath("HP_9_0.pdf")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(outside.path(), archivePath("elsewhere")));
    clickFolder(archivePath("elsewhere"));
    explore();
    EXPECT_EQ(panel(Panel::Message), texts::FolderRefused);
    EXPECT_EQ(m_form->log()->lineCount(), 0);
}

TEST_P(RegistrationCheckTest, ListsAndRegistersFilesWithoutARow) {
    addRow(12, makeFile("00/00/00/12/HP_12_0.pdf"));
    const QString second = makeFile("00/00/00/12/HP_12_1.pdf");
    const QString note = makeFile("00/00/00/12/.notes.txt"); // any type, hidden or not
    const QString other = makeFile("00/00/00/13/HP_13_0.pdf");
    // Contains the text of patient 12's folder without lying inside it.
    const QString lookalike = makeFile("00/00/00/12-old/HP_12_0.pdf");
    ASSERT_EQ(::symlink(second.toLocal8Bit().constData(),
                        archivePath("00/00/00/13/link.pdf").toLocal8Bit().constData()),
              0); // a link is the system's entry, not a chart

    clickFolder(m_archive.path());
    explore();
    const QStringList unregistered{second, note, other, lookalike};
    EXPECT_EQ(asSet(m_form->log()->lines()), asSet(unregistered));
    EXPECT_EQ(m_form->candidates(), m_form->log()->lines()); // in walk order
    EXPECT_EQ(panel(Panel::Count), "4");
    EXPECT_EQ(m_form->currentFile(), m_form->candidates().first());
    EXPECT_EQ(m_form->fileDisplay()->text(), m_form->candidates().first());
    EXPECT_TRUE(m_form->registerButton()->isEnabled());
    EXPECT_TRUE(m_form->nextButton()->isEnabled());
    EXPECT_EQ(m_form->keyLabel(0)->text(), "病名");

    // Wrong numbers and a file outside the patient folder write nothing.
    stepTo(lookalike);
    type(m_form->idEdit(), "12");
    click(m_form->registerButton());
    EXPECT_EQ(panel(Panel::Message), texts::PathError);
    m_form->prepareToShow();
    clickFolder(m_archive.path());
    explore();
    stepTo(second);
    const struct {
        const char* id;
        const char* volNo;
        const QString& message;
    } refusals[] = {
        {"", "0", texts::PatientNumberError},          {"0", "0", texts::PatientNumberError},
        {"100000000", "0", texts::PatientNumberError}, {"1２", "0", texts::PatientNumberError},
        {"12", "", texts::SerialNumberError},          {"12", "-1", texts::SerialNumberError},
        {"12", "1000", texts::SerialNumberError},      {"13", "1", texts::PathError},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(std::string(r.id) + " / " + r.volNo);
        type(m_form->idEdit(), QString::fromUtf8(r.id));
        type(m_form->volNoEdit(), QString::fromUtf8(r.volNo));
        click(m_form->registerButton());
        EXPECT_EQ(panel(Panel::Message), r.message);
        EXPECT_EQ(m_form->currentFile(), second);
    }
    EXPECT_EQ(registeredPaths().size(), 1);

    type(m_form->idEdit(), "12");
    type(m_form->volNoEdit(), "1");
    type(m_form->keyBox(0), "胃潰瘍");
    const QString longKey = QString(30, QChar(u'あ')); // 60 bytes
    type(m_form->keyBox(1), longKey);
    click(m_form->registerButton());
    EXPECT_EQ(panel(Panel::Message), texts::Registered);
    EXPECT_FALSE(m_form->registerButton()->isEnabled());
    for (int row = 0; row < TDBRegChkForm::KeyRows; ++row) {
        EXPECT_TRUE(m_form->keyBox(row)->currentText().isEmpty());
    }
    EXPECT_EQ(m_form->idEdit()->text(), "12");
    EXPECT_EQ(m_form->volNoEdit()->text(), "1");
    IndexCursor rows = m_index.patientRows(12);
    rows.next();
    const auto added = rows.next();
    ASSERT_TRUE(added);
    EXPECT_EQ(added->filePath, second);
    EXPECT_EQ(added->subNo, 1);
    EXPECT_EQ(added->keys[0], "胃潰瘍");
    EXPECT_EQ(added->keys[1], QString(25, QChar(u'あ')));
    // Its hash is kept: a verification finds the registered file as it was.
    QStringList unverified;
    ASSERT_TRUE(chartverification::verifyCharts(
        m_testbed->folder(), std::pair{12, 12}, 1,
        [&](const chartverification::Finding& finding) { unverified << finding.filePath; }));
    EXPECT_EQ(unverified, QStringList{archivePath("00/00/00/12/HP_12_0.pdf")}); // added unhashed

    // "次へ" enables "登録" again, and is disabled at the last candidate.
    while (m_form->nextButton()->isEnabled()) {
        click(m_form->nextButton());
        EXPECT_TRUE(m_form->registerButton()->isEnabled());
    }
    EXPECT_EQ(m_form->currentFile(), m_form->candidates().last());

    // A new walk lists only the files still without a row.
    explore();
    EXPECT_EQ(asSet(m_form->log()->lines()), asSet({note, other, lookalike}));
}

TEST_P(RegistrationCheckTest, RegisterOptionOffOnlyLogs) {
    const QString file = makeFile("00/00/00/05/HP_5_0.pdf");
    m_settings.DBRegist = false;
    m_form->prepareToShow();
    EXPECT_FALSE(m_form->registerOption()->isChecked());
    clickFolder(m_archive.path());
    explore();
    EXPECT_EQ(m_form->log()->lines(), QStringList{file});
    EXPECT_EQ(panel(Panel::Count), "0");
    EXPECT_FALSE(m_form->registerButton()->isEnabled());
    EXPECT_FALSE(m_form->nextButton()->isEnabled());

    // The menu entry toggles the option; closing stores it.
    clickMenuEntry(m_form->findChild<QMenuBar*>(), m_form->registerOption());
    EXPECT_TRUE(m_form->registerOption()->isChecked());
    explore();
    EXPECT_EQ(panel(Panel::Count), "1");
    EXPECT_TRUE(m_form->registerButton()->isEnabled());
    EXPECT_FALSE(m_form->nextButton()->isEnabled()); // one candidate
    m_form->storeOption();
    EXPECT_TRUE(m_settings.DBRegist);
}

TEST_P(RegistrationCheckTest, InterruptAndCloseEndAWalkKeepingWhatItListed) {
    constexpr int Files = 2000;
    for (int n = 0; n < Files; ++n) {
        makeFile(QString("00/00/%1/01/HP_1_%2.pdf").arg(n % 20, 2, 10, QChar('0')).arg(n));
    }
    m_form->setBatchLength(std::chrono::milliseconds(0)); // a few dozen entries a batch
    m_form->setBatchRest(std::chrono::milliseconds(5));   // still walking when stopped
    for (bool byClose : {false, true}) {
        SCOPED_TRACE(byClose ? "closing the window" : "中断");
        m_form->prepareToShow();
        m_form->show();
        clickFolder(m_archive.path());
        click(m_form->exploreButton());
        ASSERT_TRUE(m_form->isWalking());
        EXPECT_FALSE(m_form->exploreButton()->isEnabled());
        EXPECT_TRUE(m_form->interruptButton()->isEnabled());
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_form->log()->lineCount() > 0; }));
        if (byClose) {
            m_form->close();
        } else {
            click(m_form->interruptButton());
        }
        EXPECT_FALSE(m_form->isWalking()) << "the walk did not end at once";
        const qsizetype listed = m_form->log()->lineCount();
        EXPECT_GT(listed, 0);
        EXPECT_LT(listed, Files);
        QTest::qWait(200); // what the job found after the stop never reaches the list
        EXPECT_EQ(m_form->log()->lineCount(), listed);
        EXPECT_EQ(m_form->candidates().size(), listed);
        EXPECT_TRUE(m_form->registerButton()->isEnabled()); // what was listed can be registered
        EXPECT_TRUE(m_form->exploreButton()->isEnabled());
        EXPECT_FALSE(m_form->interruptButton()->isEnabled());
    }
}

TEST_P(RegistrationCheckTest, AFolderThatCannotBeListedEndsTheWalk) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "running as root: every folder can be listed";
    }
    makeFile("00/00/00/01/HP_1_0.pdf");
    const QString closed = archivePath("00/00/00/02");
    makeFile("00/00/00/02/HP_2_0.pdf");
    QFile::setPermissions(closed, QFileDevice::Permissions());
    clickFolder(m_archive.path());
    explore();
    QFile::setPermissions(closed,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(panel(Panel::Message), texts::WalkError);
    EXPECT_TRUE(m_form->exploreButton()->isEnabled());
}

TEST_P(RegistrationCheckTest, KeywordBoxesKeepListsOfTheirOwn) {
    QComboBox* box = m_form->keyBox(2);
    type(box, "肺");
    click(m_form->addButton(2));
    click(m_form->addButton(2)); // also when it is listed already
    click(m_form->clearButton(2));
    EXPECT_TRUE(box->currentText().isEmpty());
    click(m_form->addButton(2)); // also when it is empty
    EXPECT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0), "肺");
    EXPECT_EQ(box->itemText(2), "");
    QTest::keyClicks(box, "x");
    QTest::keyClick(box, Qt::Key_Return); // Enter does not extend the list
    EXPECT_EQ(box->count(), 3);

    type(m_form->keyBox(0), "a");
    type(m_form->keyBox(3), "b");
    click(m_form->clearAllButton());
    for (int row = 0; row < TDBRegChkForm::KeyRows; ++row) {
        EXPECT_TRUE(m_form->keyBox(row)->currentText().isEmpty());
    }

    // "キーワード　貼り付け" replaces the text of the keyword box that has the focus.
    QMenuBar* bar = m_form->findChild<QMenuBar*>();
    QApplication::clipboard()->setText("胃\nがん");
    m_form->idEdit()->setFocus();
    clickMenuEntry(bar, m_form->pasteKeywordAction());
    EXPECT_TRUE(m_form->keyBox(1)->currentText().isEmpty());
    EXPECT_EQ(m_form->idEdit()->text(), "");
    type(m_form->keyBox(1), "old");
    m_form->keyBox(1)->setFocus();
    clickMenuEntry(bar, m_form->pasteKeywordAction());
    EXPECT_EQ(m_form->keyBox(1)->currentText(), "胃 がん"); // no line break in a keyword
}

TEST_P(RegistrationCheckTest, SavesPrintsCopiesAndClearsTheLog) {
    const QString file = makeFile("00/00/00/07/カルテ.pdf");
    clickFolder(m_archive.path());
    explore();
    ASSERT_EQ(m_form->log()->lines(), QStringList{file});
    QMenuBar* bar = m_form->findChild<QMenuBar*>();

    const QString rtfPath = m_archive.path() + "/../log.rtf";
    m_prompts.fileChoices.enqueue({true, {rtfPath}, 0});
    clickMenuEntry(bar, m_form->saveLogAction());
    EXPECT_EQ(m_prompts.fileDialogs.last().filter, "書式付テキスト|*.rtf");
    QFile rtfFile(rtfPath);
    ASSERT_TRUE(rtfFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(rtfFile.readAll(), rtf::document({file}));
    rtfFile.remove();

    m_form->setPrinterSetup([](QPrinter& printer) { printer.setPrinterName(QString()); });
    clickMenuEntry(bar, m_form->printLogAction());
    EXPECT_EQ(m_prompts.errors, QStringList{"印刷できません: プリンターがありません。"});
    m_prompts.errors.clear();

    const QString pdf = m_archive.path() + "/../log.pdf";
    m_form->setPrinterSetup([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    });
    clickMenuEntry(bar, m_form->printLogAction());
    EXPECT_TRUE(pdfText(pdf).contains(file));
    EXPECT_EQ(pdfTitle(pdf), "カルテのＤＢ登録確認");
    QFile::remove(pdf);

    clickMenuEntry(bar, m_form->selectLogAction());
    clickMenuEntry(bar, m_form->copyLogAction());
    EXPECT_EQ(QApplication::clipboard()->text(), file);
    clickMenuEntry(bar, m_form->clearLogAction());
    EXPECT_EQ(m_form->log()->lineCount(), 0);
    EXPECT_TRUE(m_form->log()->toPlainText().isEmpty());
}

TEST_P(RegistrationCheckTest, AChartWhoseRowFailedIsFiledWithTheHashTakenWhenItWasWritten) {
    const QString chart = makeFile("00/00/00/08/HP_8_0.pdf", "%PDF-1.2\nas written\n");
    QString error;
    const QByteArray written = Sha256::ofFile(chart, &error).value();
    ASSERT_TRUE(programfiles::keepWrittenHash(chart, written, &error)) << error.toStdString();
    // The chart changes before anyone registers it.
    makeFile("00/00/00/08/HP_8_0.pdf", "%PDF-1.2\nchanged since\n");
    clickFolder(m_archive.path());
    explore();
    EXPECT_EQ(m_form->log()->lines(), QStringList{chart}); // never the side file
    ASSERT_EQ(m_form->currentFile(), chart);
    type(m_form->idEdit(), "8");
    click(m_form->registerButton());
    EXPECT_EQ(panel(Panel::Message), texts::Registered);
    EXPECT_EQ(m_index.storedHash(chart), written);
    EXPECT_FALSE(QFile::exists(programfiles::writtenHashPath(chart)));
}

TEST_P(RegistrationCheckTest, AFailedInsertReportsTheDatabaseFault) {
    const QString file = makeFile("00/00/00/09/HP_9_0.pdf");
    refuseInserts();
    clickFolder(m_archive.path());
    explore();
    ASSERT_EQ(m_form->currentFile(), file);
    type(m_form->idEdit(), "9");
    click(m_form->registerButton());
    EXPECT_EQ(panel(Panel::Message), texts::DatabaseFault);
    EXPECT_TRUE(registeredPaths().isEmpty());
    // The index is closed for inserts now; a new walk still lists the file.
    explore();
    EXPECT_EQ(m_form->log()->lines(), QStringList{file});
    EXPECT_TRUE(m_form->exploreButton()->isEnabled());
    EXPECT_FALSE(m_form->interruptButton()->isEnabled());
}

PELORA_INSTANTIATE_BACKENDS(RegistrationCheckTest);
