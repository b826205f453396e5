// SPDX-License-Identifier: GPL-3.0-or-later
// The index maintenance window, driven with clicks and keys on both index backends.

#include "index/maintenance/maintenancerowmodel.h"
#include "index/maintenance/maintenancetexts.h"
#include "index/maintenance/registrationwalk.h"
#include "index/maintenance/statuspanels.h"
#include "index/maintenance/tdbmainteform.h"
#include "maintenancetesting.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QTableView>
#include <QToolBar>

namespace texts = maintenance::texts;
using Panel = StatusPanels::Panel;

class MaintenanceWindowTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        m_form = std::make_unique<TDBMainteForm>(m_index, m_prompts);
    }

    void open() {
        m_form->prepareToShow();
        m_form->show();
        QApplication::setActiveWindow(m_form.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void clickTool(QAction* action) {
        auto* bar = m_form->findChild<QToolBar*>();
        QWidget* button = bar->widgetForAction(action);
        ASSERT_TRUE(button);
        ASSERT_TRUE(action->isEnabled()) << action->toolTip().toStdString() << " is disabled";
        QTest::mouseClick(button, Qt::LeftButton);
    }

    /// Types \p text into Edit1 and clicks "検索".
    void search(const QString& text) {
        m_form->edit1()->clear();
        typeText(m_form->edit1(), text);
        clickTool(m_form->searchAction());
    }

    /// The grid's rows as the patient numbers they show.
    QStringList shownPatients() const {
        QStringList patients;
        const auto* model = m_form->grid()->model();
        for (int row = 0; model && row < model->rowCount(); ++row) {
            patients << model->index(row, IndexRowModel::Pidno).data().toString();
        }
        return patients;
    }

    QRect cell(int row, int column) const {
        QTableView* grid = m_form->grid();
        grid->scrollTo(grid->model()->index(row, column));
        return grid->visualRect(grid->model()->index(row, column));
    }

    /// Double-clicks the cell and types \p text, ending with Enter unless \p leaveOpen.
    void typeIntoCell(int row, int column, const QString& text, bool leaveOpen = false) {
        QTableView* grid = m_form->grid();
        const QPoint centre = cell(row, column).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, centre);
        QLineEdit* editor = openEditor();
        ASSERT_TRUE(editor) << "no editor opened";
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Delete);
        typeText(editor, text);
        if (leaveOpen) {
            return;
        }
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits the text on the next turn of the event loop.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !openEditor(); }));
    }

    /// Waits until the count panel shows a number (counts of long results come from a job).
    void waitForCount() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !panel(Panel::Count).isEmpty(); }, 30000));
    }

    QString panel(Panel which) const { return m_form->status()->text(which); }

    /// The editor open in a cell of the grid, or null.
    QLineEdit* openEditor() const {
        for (auto* editor : m_form->grid()->viewport()->findChildren<QLineEdit*>()) {
            if (editor->isVisible()) {
                return editor;
            }
        }
        return nullptr;
    }

    /// Runs index-peer, another workstation in a process of its own, on this index.
    void peer(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral(INDEX_PEER), QStringList{m_testbed->folder()} + arguments);
        ASSERT_TRUE(process.waitForFinished(30000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }

    std::unique_ptr<TDBMainteForm> m_form;
};

TEST_P(MaintenanceWindowTest, SearchesAllRowsOrOnePatients) {
    addRow(1, archivePath("a.pdf"));
    addRow(2, archivePath("b.pdf"));
    addRow(2, archivePath("c.pdf"));
    open();
    // The total on opening, counted by a job.
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel(Panel::Count) == "3"; }))
        << panel(Panel::Count).toStdString();
    search("");
    EXPECT_EQ(shownPatients(), (QStringList{"1", "2", "2"}));
    EXPECT_EQ(panel(Panel::Count), "3");
    search("2");
    EXPECT_EQ(shownPatients(), (QStringList{"2", "2"}));
    EXPECT_EQ(panel(Panel::Count), "2");

    for (const char* bad : {"abc", "0", "-2", "100000000", "2 ", "2x"}) {
        SCOPED_TRACE(bad);
        search(QString::fromUtf8(bad));
        EXPECT_EQ(panel(Panel::Message), texts::PatientNumberError);
        EXPECT_EQ(shownPatients(), (QStringList{"2", "2"})); // the previous result stays
    }
    search("99999999");
    EXPECT_EQ(panel(Panel::Message), texts::NoMatch);
    EXPECT_EQ(panel(Panel::Count), "2"); // keeps its number
    EXPECT_TRUE(shownPatients().isEmpty());

    // Reopening shows the total and keeps the grid.
    search("1");
    m_form->hide();
    addRow(3, archivePath("d.pdf"));
    open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel(Panel::Count) == "4"; }))
        << panel(Panel::Count).toStdString();
    EXPECT_EQ(shownPatients(), QStringList{"1"});

    QHeaderView* header = m_form->grid()->horizontalHeader();
    const QStringList captions{"患者番号", "連番",   "作成日", "ファイル名",
                               "キー１",   "キー２", "キー３", "キー４"};
    for (int column = 0; column < IndexRowModel::ColumnCount; ++column) {
        EXPECT_EQ(m_form->grid()->model()->headerData(column, Qt::Horizontal).toString(),
                  captions.at(column));
    }
    EXPECT_EQ(header->sectionSize(IndexRowModel::SubNo), 40);
    EXPECT_EQ(header->sectionSize(IndexRowModel::CreateDateTime), 54);
    EXPECT_EQ(header->sectionSize(IndexRowModel::FilePath), 79);
}

TEST_P(MaintenanceWindowTest, OnlyKeywordsAreEditedAndEachEditIsItsRowsAlone) {
    addRow(1, archivePath("a.pdf"), {"a1", "", "", ""});
    addRow(2, archivePath("b.pdf"), {"b1", "", "", ""});
    open();
    search("");
    QTableView* grid = m_form->grid();

    // The identifying columns take no editor.
    for (int column : {IndexRowModel::Pidno, IndexRowModel::SubNo, IndexRowModel::CreateDateTime,
                       IndexRowModel::FilePath}) {
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell(0, column).center());
        EXPECT_FALSE(openEditor()) << column;
    }

    // Another workstation changes row 2 meanwhile; our edit of row 1 leaves it alone.
    m_testbed->exec("UPDATE PeloraFileDB SET Key1 = 'peer' WHERE Pidno = 2");
    typeIntoCell(0, IndexRowModel::Key2, "胃" + QString(30, QChar(u'あ'))); // 62 bytes
    EXPECT_TRUE(m_form->postAction()->isEnabled());
    clickTool(m_form->postAction());
    EXPECT_FALSE(m_form->postAction()->isEnabled());
    IndexCursor first = m_index.patientRows(1);
    const auto one = first.next();
    ASSERT_TRUE(one);
    EXPECT_EQ(one->keys[1], "胃" + QString(24, QChar(u'あ'))); // 50 bytes, whole characters
    EXPECT_EQ(one->keys[0], "a1");
    IndexCursor second = m_index.patientRows(2);
    EXPECT_EQ(second.next()->keys[0], "peer");

    // Moving to another row posts the edit of the row left.
    typeIntoCell(0, IndexRowModel::Key4, "移動");
    QTest::keyClick(grid, Qt::Key_Down);
    IndexCursor moved = m_index.patientRows(1);
    EXPECT_EQ(moved.next()->keys[3], "移動");

    // An edit of the row another workstation changed is not written: the grid shows the row as
    // it is now and says why.
    typeIntoCell(1, IndexRowModel::Key4, "上書き");
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(panel(Panel::Message), texts::ChangedElsewhere);
    IndexCursor again = m_index.patientRows(2);
    const auto two = again.next();
    EXPECT_EQ(two->keys[3], "");
    EXPECT_EQ(two->keys[0], "peer");
    EXPECT_EQ(grid->model()->index(1, IndexRowModel::Key1).data().toString(), "peer");
    EXPECT_EQ(grid->model()->index(1, IndexRowModel::Key4).data().toString(), "");

    // "レコードの登録" posts what is still being typed in its cell.
    typeIntoCell(0, IndexRowModel::Key1, "登録", true);
    ASSERT_TRUE(openEditor());
    clickTool(m_form->postAction());
    IndexCursor posted = m_index.patientRows(1);
    EXPECT_EQ(posted.next()->keys[0], "登録");

    // Typed but not posted: closing the window writes it.
    typeIntoCell(0, IndexRowModel::Key3, "閉");
    m_form->close();
    IndexCursor closed = m_index.patientRows(1);
    EXPECT_EQ(closed.next()->keys[2], "閉");
}

TEST_P(MaintenanceWindowTest, DeletingTakesOnlyTheRow) {
    const QString chart = makeFile("00/00/00/04/HP_4_0.pdf");
    addRow(4, chart);
    addRow(5, archivePath("other.pdf"));
    open();
    search("");

    m_prompts.questionAnswers.enqueue(QMessageBox::Cancel);
    clickTool(m_form->deleteAction());
    EXPECT_EQ(m_prompts.questions, QStringList{texts::DeleteQuestion});
    EXPECT_EQ(registeredPaths().size(), 2);
    EXPECT_EQ(shownPatients(), (QStringList{"4", "5"}));

    m_prompts.questionAnswers.enqueue(QMessageBox::Ok);
    clickTool(m_form->deleteAction());
    EXPECT_EQ(registeredPaths(), QStringList{archivePath("other.pdf")});
    EXPECT_EQ(shownPatients(), QStringList{"5"});
    EXPECT_TRUE(QFile::exists(chart)); // the chart file stays in the archive

    // ... where the registration check finds it again.
    maintenance::RegistrationWalk walk(m_index, m_archive.path());
    std::vector<maintenance::RegistrationWalk::Unregistered> found;
    while (walk.step(std::chrono::milliseconds(100), &found) ==
               maintenance::RegistrationWalk::State::Reading ||
           walk.state() == maintenance::RegistrationWalk::State::Walking) {
    }
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front().path, chart);
}

TEST_P(MaintenanceWindowTest, TheNavigatorMovesThroughRowsReadAsItGoes) {
    constexpr int Rows = 1200; // more than one fetch
    addRows(Rows, 8, [&](int n) { return archivePath(QString("%1.pdf").arg(n)); });
    open();
    search("8");
    waitForCount();
    EXPECT_EQ(panel(Panel::Count), QString::number(Rows));
    MaintenanceRowModel* rows = m_form->rows();
    ASSERT_TRUE(rows);
    EXPECT_LT(rows->rowCount(), Rows); // not all read at once
    auto current = [&] { return m_form->grid()->currentIndex().row(); };
    EXPECT_EQ(current(), 0);
    EXPECT_FALSE(m_form->firstAction()->isEnabled());
    EXPECT_FALSE(m_form->priorAction()->isEnabled());
    clickTool(m_form->nextAction());
    clickTool(m_form->nextAction());
    EXPECT_EQ(current(), 2);
    clickTool(m_form->priorAction());
    EXPECT_EQ(current(), 1);
    clickTool(m_form->lastAction());
    ASSERT_TRUE(QTest::qWaitFor([&] { return current() == Rows - 1; }, 30000));
    EXPECT_EQ(rows->rowCount(), Rows);
    EXPECT_FALSE(m_form->nextAction()->isEnabled());
    EXPECT_FALSE(m_form->lastAction()->isEnabled());
    // Below the last row the grid starts no new row.
    QTest::keyClick(m_form->grid(), Qt::Key_Down);
    QTest::keyClick(m_form->grid(), Qt::Key_Insert);
    EXPECT_EQ(rows->rowCount(), Rows);
    clickTool(m_form->firstAction());
    EXPECT_EQ(current(), 0);
    // Ctrl+End goes to the last row too, not only to the last row read so far.
    search("8");
    waitForCount();
    QTest::keyClick(m_form->grid(), Qt::Key_End, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return current() == Rows - 1; }, 30000));
}

TEST_P(MaintenanceWindowTest, AFailedSearchEmptiesTheGrid) {
    addRow(1, archivePath("a.pdf"));
    open();
    search("");
    ASSERT_EQ(shownPatients().size(), 1);
    m_testbed->exec("DROP TABLE PeloraFileDB");
    search("");
    EXPECT_EQ(panel(Panel::Message), texts::SearchError);
    EXPECT_TRUE(shownPatients().isEmpty());
}

TEST_P(MaintenanceWindowTest, AnEditOfARowDeletedMeanwhileIsReported) {
    addRow(7, archivePath("a.pdf"), {"old", "", "", ""});
    open();
    search("7");
    m_testbed->exec("DELETE FROM PeloraFileDB WHERE Pidno = 7"); // another workstation
    typeIntoCell(0, IndexRowModel::Key1, "new");
    clickTool(m_form->postAction());
    EXPECT_EQ(panel(Panel::Message), texts::DeletedElsewhere);
    EXPECT_TRUE(shownPatients().isEmpty());   // the row left the grid
    EXPECT_TRUE(registeredPaths().isEmpty()); // nothing was written in its place
    EXPECT_FALSE(m_form->postAction()->isEnabled());
}

TEST_P(MaintenanceWindowTest, AfterAFailedInsertTheWindowStillOpensAndSearches) {
    addRow(6, archivePath("a.pdf"));
    refuseInserts();
    ASSERT_FALSE(m_index.insertChart(chartRow(6, archivePath("b.pdf"))));
    open();
    waitForCount(); // reading is not closed by a failed insert
    EXPECT_EQ(panel(Panel::Count), "1");
    search("6");
    EXPECT_EQ(shownPatients(), QStringList{"6"});
    EXPECT_EQ(panel(Panel::Count), "1");
}

TEST_P(MaintenanceWindowTest, AStaleWindowNeverChangesOrDeletesAnotherChartsRow) {
    for (const bool deleting : {true, false}) {
        SCOPED_TRACE(deleting ? "deletion" : "keyword edit");
        const QString a = archivePath(deleting ? "a.pdf" : "a2.pdf");
        const QString b = archivePath(deleting ? "b.pdf" : "b2.pdf");
        const QString c = archivePath(deleting ? "c.pdf" : "c2.pdf");
        addRow(65, a);
        addRow(66, b); // the highest identity, which an engine may hand out again
        open();
        search(deleting ? "66" : "");
        const int row = deleting ? 0 : shownPatients().indexOf("66");
        ASSERT_GE(row, 0);
        // Meanwhile another workstation deletes patient 66's row, and a save adds patient
        // 77's, each in a process of its own.
        peer({"delete", "66"});
        peer({"insert", "77", c});
        if (deleting) {
            QTest::mouseClick(m_form->grid()->viewport(), Qt::LeftButton, {},
                              cell(row, IndexRowModel::Key1).center());
            m_prompts.questionAnswers.enqueue(QMessageBox::Ok);
            clickTool(m_form->deleteAction());
        } else {
            typeIntoCell(row, IndexRowModel::Key1, "stale");
            clickTool(m_form->postAction());
        }
        EXPECT_EQ(panel(Panel::Message), texts::DeletedElsewhere);
        EXPECT_TRUE(registeredPaths().contains(c)) << "patient 77's row is gone";
        IndexCursor seventySeven = m_index.patientRows(77);
        const auto kept = seventySeven.next();
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->keys[0], "");
        peer({"delete", "65"});
        peer({"delete", "77"});
    }
}

TEST_P(MaintenanceWindowTest, TheCountFollowsDeletions) {
    addRow(4, archivePath("a.pdf"));
    addRow(5, archivePath("b.pdf"));
    open();
    waitForCount();
    EXPECT_EQ(panel(Panel::Count), "2");
    search("");
    m_prompts.questionAnswers.enqueue(QMessageBox::Ok);
    clickTool(m_form->deleteAction());
    EXPECT_EQ(panel(Panel::Count), "1");
}

PELORA_INSTANTIATE_BACKENDS(MaintenanceWindowTest);
