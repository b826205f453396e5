// SPDX-License-Identifier: GPL-3.0-or-later
// The chart existence check window, driven with clicks and keys on both index backends.

#include "index/maintenance/maintenancetexts.h"
#include "index/maintenance/statuspanels.h"
#include "index/maintenance/tpeloraexistform.h"
#include "maintenancetesting.h"

#include "platform/rtfwriter.h"
#include "platform/sha256.h"
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>

namespace texts = maintenance::texts;
using Panel = StatusPanels::Panel;

class ExistenceCheckTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        m_form = std::make_unique<TPeloraExistForm>(m_index, m_prompts);
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    }

    /// Types the range and clicks "実行".
    void startRun(const QString& from, const QString& to) {
        for (auto [box, text] : {std::pair{m_form->fromEdit(), from}, {m_form->toEdit(), to}}) {
            box->selectAll();
            QTest::keyClick(box, Qt::Key_Delete);
            QTest::keyClicks(box, text);
        }
        QTest::mouseClick(m_form->runButton(), Qt::LeftButton);
    }
    void run(const QString& from, const QString& to) {
        startRun(from, to);
        waitForRun();
    }
    void waitForRun() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !m_form->isRunning(); }, 60000));
    }

    QString panel(Panel which) const { return m_form->status()->text(which); }

    std::unique_ptr<TPeloraExistForm> m_form;
};

TEST_P(ExistenceCheckTest, UnusableRangesQueryNothing) {
    addRow(5, archivePath("gone.pdf"));
    const std::pair<QString, QString> ranges[] = {{"", "10"},   {"1", ""},   {"abc", "10"},
                                                  {"1", "1x"},  {"0", "10"}, {"1", "100000000"},
                                                  {"-3", "10"}, {"10", "9"}, {"1 ", "10"}};
    for (const auto& [from, to] : ranges) {
        SCOPED_TRACE(("from '" + from + "' to '" + to + "'").toStdString());
        run(from, to);
        EXPECT_EQ(panel(Panel::Message), texts::RangeError);
        EXPECT_EQ(m_form->resultMemo()->lineCount(), 0);
    }
}

TEST_P(ExistenceCheckTest, ListsRowsWithoutTheirFile) {
    const QString present = makeFile("00/00/00/01/HP_1_0.pdf");
    const QString gone = archivePath("00/00/00/01/HP_1_1.pdf");
    const QString folder = archivePath("00/00/00/02/HP_2_0.pdf"); // a folder named like a chart
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString otherPatient = archivePath("00/00/00/03/HP_3_0.pdf");
    addRow(1, present);
    addRow(1, gone);
    addRow(2, folder);
    addRow(3, otherPatient);
    addRow(1, gone); // a second row for the same file: one line per row

    run("1", "2");
    EXPECT_EQ(m_form->resultMemo()->lines(), (QStringList{gone, folder, gone}));
    EXPECT_EQ(m_form->resultMemo()->toPlainText(), QStringList({gone, folder, gone}).join('\n'));
    EXPECT_EQ(panel(Panel::Count), "3");
    EXPECT_EQ(panel(Panel::Message), texts::Done);

    run("003", "3"); // from = to checks one patient; leading zeros are only digits
    EXPECT_EQ(m_form->resultMemo()->lines(), QStringList{otherPatient});

    run("1", "99999999");
    EXPECT_EQ(m_form->resultMemo()->lineCount(), 4);

    run("4", "100");
    EXPECT_EQ(panel(Panel::Message), texts::NoRowsInRange);
    EXPECT_EQ(m_form->resultMemo()->lineCount(), 0);
}

TEST_P(ExistenceCheckTest, CheckingContentsListsChangedChartsUnderTheirOwnHeading) {
    // Charts of several pieces of reading each.
    const QByteArray body = QByteArray("%PDF-1.4 scan ").repeated(300000);
    auto filed = [&](const QString& relative, bool hashed) {
        const QString path = makeFile(relative, body);
        chartindex::ChartRow row = chartRow(1, path);
        if (hashed) {
            Sha256 hash;
            hash.add(body.constData(), std::size_t(body.size()));
            row.sha256 = hash.hexDigest();
        }
        EXPECT_TRUE(m_index.insertChart(row)) << m_index.lastError().toStdString();
        return path;
    };
    filed("00/00/00/01/same.pdf", true);
    const QString changed = filed("00/00/00/01/changed.pdf", true);
    const QString copiedIn = filed("00/00/00/01/copied.pdf", false);
    const QString gone = filed("00/00/00/01/gone.pdf", true);
    QFile::remove(gone);
    {
        QFile file(changed);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(body.size() - 3);
        file.write("!");
    }
    run("1", "1"); // without the box only the missing chart is listed
    EXPECT_EQ(m_form->resultMemo()->lines(), QStringList{gone});

    QTest::mouseClick(m_form->contentCheck(), Qt::LeftButton);
    ASSERT_TRUE(m_form->contentCheck()->isChecked());
    run("1", "1");
    EXPECT_EQ(m_form->resultMemo()->lines(), (QStringList{gone, "", texts::ChangedCharts, changed,
                                                          "", texts::UnhashedCharts, copiedIn}));
    EXPECT_EQ(panel(Panel::Count), "3");
    EXPECT_EQ(panel(Panel::Message), texts::Done);
}

TEST_P(ExistenceCheckTest, APipeInAChartsPlaceIsNoChartAndHoldsNothing) {
    const QString piped = archivePath("00/00/00/02/HP_2_0.pdf");
    QDir().mkpath(QFileInfo(piped).path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(piped).constData(), 0600), 0);
    chartindex::ChartRow row = chartRow(2, piped);
    row.sha256 = "00";
    ASSERT_TRUE(m_index.insertChart(row));
    QTest::mouseClick(m_form->contentCheck(), Qt::LeftButton);
    run("2", "2");
    // Not a regular file: no chart is there, and nothing waits for the pipe to be written.
    EXPECT_EQ(m_form->resultMemo()->lines(), QStringList{piped});
    EXPECT_EQ(panel(Panel::Message), texts::Done);
}

TEST_P(ExistenceCheckTest, EveryFilePresentListsNothing) {
    addRow(7, makeFile("00/00/00/07/HP_7_0.pdf"));
    run("7", "7");
    EXPECT_EQ(m_form->resultMemo()->lineCount(), 0);
    EXPECT_EQ(panel(Panel::Count), "0");
    EXPECT_EQ(panel(Panel::Message), texts::Done);
}

TEST_P(ExistenceCheckTest, StopAndCloseEndARunAtOnceMarkingWhatItFoundAsStopped) {
    constexpr int Rows = 5000;
    m_form->setBatchLength(std::chrono::milliseconds(0)); // a few dozen rows a batch
    addRows(Rows, 9, [&](int n) { return archivePath(QString("gone/%1.pdf").arg(n)); });
    for (bool byClose : {false, true}) {
        SCOPED_TRACE(byClose ? "closing the window" : "停止");
        startRun("9", "9");
        ASSERT_TRUE(m_form->isRunning());
        EXPECT_FALSE(m_form->runButton()->isEnabled()) << "実行 stays enabled during a run";
        QTest::mouseClick(m_form->runButton(), Qt::LeftButton); // ignored: runs never overlap
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_form->resultMemo()->lineCount() > 0; }));
        if (byClose) {
            m_form->close();
        } else {
            QTest::mouseClick(m_form->stopButton(), Qt::LeftButton);
        }
        EXPECT_FALSE(m_form->isRunning()) << "the run did not end at once";
        const qsizetype found = m_form->resultMemo()->lineCount();
        EXPECT_GT(found, 0);
        EXPECT_LT(found, Rows);
        // Never shown as a finished result: it says it was stopped, with the count so far.
        EXPECT_EQ(panel(Panel::Count), QString::number(found));
        EXPECT_EQ(panel(Panel::Message), texts::Stopped);
        EXPECT_TRUE(m_form->runButton()->isEnabled());
        QTest::qWait(200); // what the job found after the stop never reaches the list
        EXPECT_EQ(m_form->resultMemo()->lineCount(), found);
        m_form->show();
        EXPECT_EQ(panel(Panel::Message), texts::Stopped) << "reopened, it still says so";
    }
}

TEST_P(ExistenceCheckTest, SavesPrintsAndCopiesTheList) {
    const QString japanese = archivePath("カルテ/HP_1_0.pdf");
    const QString plain = archivePath("{x}/HP_1_1.pdf");
    addRow(1, japanese);
    addRow(1, plain);
    run("1", "1");
    ASSERT_EQ(m_form->resultMemo()->lineCount(), 2);
    QMenuBar* bar = m_form->findChild<QMenuBar*>();

    // Cancel writes nothing; a chosen file is written, replacing an earlier list.
    const QString rtfPath = archivePath("missing.rtf");
    clickMenuEntry(bar, m_form->saveAction());
    EXPECT_FALSE(QFile::exists(rtfPath));
    makeFile("missing.rtf", rtf::document({"an earlier list, longer than this one's lines"}));
    m_prompts.fileChoices.enqueue({true, {rtfPath}, 0});
    clickMenuEntry(bar, m_form->saveAction());
    ASSERT_EQ(m_prompts.fileDialogs.size(), 2);
    EXPECT_EQ(m_prompts.fileDialogs.last().filter, "書式付テキスト|*.rtf");
    EXPECT_EQ(m_prompts.fileDialogs.last().defaultSuffix, ".rtf");
    QFile rtfFile(rtfPath);
    ASSERT_TRUE(rtfFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(rtfFile.readAll(), rtf::document({japanese, plain}));

    // A name typed over a chart (or any file that is not RTF) leaves that file as it was.
    const QByteArray chartBytes = "%PDF-1.2\n% a chart in the archive\n";
    const QString chart = makeFile("00/00/00/01/HP_1_0.pdf", chartBytes);
    m_prompts.fileChoices.enqueue({true, {chart}, 0});
    clickMenuEntry(bar, m_form->saveAction());
    QFile chartFile(chart);
    ASSERT_TRUE(chartFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(chartFile.readAll(), chartBytes);
    ASSERT_EQ(m_prompts.errors.size(), 1);
    EXPECT_TRUE(m_prompts.errors.first().contains(chart));
    m_prompts.errors.clear();

    // No printer on the system: Qt's fallback writes to no file, and the operator is told.
    m_form->setPrinterSetup([](QPrinter& printer) { printer.setPrinterName(QString()); });
    clickMenuEntry(bar, m_form->printAction());
    EXPECT_EQ(m_prompts.errors, QStringList{"印刷できません: プリンターがありません。"});
    m_prompts.errors.clear();

    const QString pdf = archivePath("printed.pdf");
    m_form->setPrinterSetup([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
    });
    clickMenuEntry(bar, m_form->printAction());
    EXPECT_TRUE(m_prompts.errors.isEmpty()) << m_prompts.errors.join('\n').toStdString();
    const QString printed = pdfText(pdf);
    EXPECT_TRUE(printed.contains(japanese)) << printed.toStdString();
    EXPECT_TRUE(printed.contains(plain)) << printed.toStdString();
    EXPECT_EQ(pdfTitle(pdf), "Missing File");

    QApplication::clipboard()->clear();
    clickMenuEntry(bar, m_form->selectAllAction());
    clickMenuEntry(bar, m_form->copyAction());
    EXPECT_EQ(QApplication::clipboard()->text(), japanese + "\n" + plain);
}

TEST_P(ExistenceCheckTest, AFailedQueryShowsTheSearchError) {
    addRow(1, archivePath("gone.pdf"));
    m_testbed->exec("DROP TABLE PeloraFileDB");
    run("1", "1");
    EXPECT_EQ(panel(Panel::Message), texts::SearchError);
    EXPECT_EQ(m_form->resultMemo()->lineCount(), 0);
}

PELORA_INSTANTIATE_BACKENDS(ExistenceCheckTest);
