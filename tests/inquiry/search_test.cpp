// SPDX-License-Identifier: GPL-3.0-or-later
// The keyword search as the operator runs it: "照会" > "検索", the four boxes under the
// search-key labels, the result window with its navigator and "表示", on both index backends.

#include "index/chartindex.h"
#include "index/windows/indexrowmodel.h"
#include "index/windows/tdbsearchform.h"
#include "index/windows/tsrchresultform.h"
#include "inquirytesting.h"
#include "platform/registryfile.h"
#include "settings/tregistory.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>

namespace {

using Command = TMainForm::Command;
using Panel = TMainForm::StatusPanel;

class SearchWindowTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        createIndex();
        ASSERT_TRUE(m_index.open(m_testbed->folder())) << m_index.lastError().toStdString();
    }

    /// A chart file in the archive folder and its row.
    QString addChart(int pidno, const ChartIndex::Keywords& keys) {
        const QString path = m_archive.filePath(QStringLiteral("%1.pdf").arg(pidno));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.4\n");
        EXPECT_TRUE(m_index.insertChart({pidno, 0, path, keys}))
            << m_index.lastError().toStdString();
        return path;
    }

    void startWindow() {
        TRegistory labels;
        labels.KeyLabel1 = "検査";
        labels.KeyLabel2 = "年";
        labels.KeyLabel3 = "";
        labels.KeyLabel4 = "部位";
        RegistryFile registry;
        labels.SaveToRegistry(registry);
        const QString settings = m_testbed->folder() + "/registry.reg";
        ASSERT_TRUE(registry.save(settings));
        m_form = startMainWindow({m_testbed->folder(), settings, &m_prompts, &m_opener});
        ASSERT_TRUE(m_form->chartIndex().isOpen())
            << m_form->chartIndex().lastError().toStdString();
    }

    /// Types \p typed into the boxes (replacing what they hold) and clicks "検索の実行".
    static int typeAndSearch(QDialog& dialog, const ChartIndex::Keywords& typed) {
        auto& form = static_cast<TDBSearchForm&>(dialog);
        form.show();
        for (int key = 0; key < 4; ++key) {
            QLineEdit* edit = form.edit(key);
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            typeText(edit, typed.at(size_t(key)));
        }
        QTest::mouseClick(form.searchButton(), Qt::LeftButton);
        return form.result();
    }

    /// Runs "検索" with \p typed; \p onResults, when given, sees the result window while it is
    /// up. Returns the rows the result window listed (none when it did not open).
    QStringList search(const ChartIndex::Keywords& typed,
                       const std::function<void(TSrchResultForm&)>& onResults = {}) {
        QStringList listed;
        m_prompts.dialogAnswers.enqueue([typed](QDialog& d) { return typeAndSearch(d, typed); });
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            auto& results = static_cast<TSrchResultForm&>(d);
            results.show();
            IndexRowModel* rows = results.rows();
            while (rows->canFetchMore()) {
                rows->fetchMore();
            }
            for (int row = 0; row < rows->rowCount(); ++row) {
                listed << QString::number(rows->rowAt(row).pidno);
            }
            if (onResults) {
                onResults(results);
            }
            results.hide();
            return int(QDialog::Rejected);
        });
        clickMenuEntry(*m_form, m_form->command(Command::KeywordSearch));
        m_prompts.dialogAnswers.clear();
        return listed;
    }

    QTemporaryDir m_archiveDir;
    QDir m_archive{m_archiveDir.path()};
    ChartIndex m_index;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;
    std::unique_ptr<TMainForm> m_form;
};

struct DialogCase {
    const char* what;
    ChartIndex::Keywords typed;
    QStringList listed;
    QString message;
};

TEST_P(SearchWindowTest, TheBoxesBecomeConditionsAndTheAnswerIsAWindowOrAMessage) {
    addChart(1, {"胃カメラ", "2026", "", ""});
    addChart(2, {"胃 カメラ", "2025", "外来", ""});
    addChart(3, {"100%", "a_b", "", "say \"hi\""});
    addChart(4, {"1000", "axb", "外来", ""});
    startWindow();
    const std::vector<DialogCase> cases{
        {"only key 2", {"", "2026"}, {"1"}, ""},
        {"one blank is text", {" "}, {"2"}, ""},
        {"two boxes are joined by and", {"カメラ", "", "外来"}, {"2"}, ""},
        {"% and _ typed are wildcards", {"1_0%", "a_b"}, {"3", "4"}, ""},
        {"a double quote is searched for", {"", "", "", "\"hi\""}, {"3"}, ""},
        {"no match", {"なし"}, {}, "該当なし。"},
        {"nothing typed", {}, {}, "検索のキーを設定してください。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_form->setStatusText(Panel::Message, "old");
        EXPECT_EQ(search(c.typed), c.listed);
        EXPECT_EQ(m_form->statusText(Panel::Message), c.message);
    }
    // The result window opened only where rows matched.
    EXPECT_EQ(m_prompts.shownDialogs.count("SrchResultForm"), 5);
}

TEST_P(SearchWindowTest, CaptionsComeFromTheLabelsAndTextsStayUntilCleared) {
    addChart(1, {"胃カメラ", "", "", ""});
    startWindow();
    auto& dialog = *m_form->findChild<TDBSearchForm*>();
    EXPECT_EQ(search({"カメラ", "", "", "胸"}), QStringList());
    EXPECT_EQ(dialog.caption(0)->text(), "検査");
    EXPECT_EQ(dialog.caption(2)->text(), "");
    EXPECT_EQ(dialog.caption(3)->text(), "部位");
    EXPECT_EQ(dialog.windowTitle(), "検索");

    // Cancel runs nothing and leaves the status message empty; the texts are kept.
    m_form->setStatusText(Panel::Message, "old");
    m_prompts.dialogAnswers.enqueue([](QDialog& d) {
        auto& form = static_cast<TDBSearchForm&>(d);
        form.show();
        QTest::mouseClick(form.cancelButton(), Qt::LeftButton);
        return form.result();
    });
    clickMenuEntry(*m_form, m_form->command(Command::KeywordSearch));
    EXPECT_EQ(m_form->statusText(Panel::Message), "");
    EXPECT_EQ(dialog.texts(), (ChartIndex::Keywords{"カメラ", "", "", "胸"}));
    EXPECT_EQ(m_prompts.shownDialogs.count("SrchResultForm"), 0);

    // "クリア" empties all four and the dialog stays open.
    dialog.show();
    QTest::mouseClick(dialog.clearButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.texts(), ChartIndex::Keywords{});
    dialog.hide();
}

TEST_P(SearchWindowTest, ShowOpensTheChartOfTheCurrentRowOrSaysItIsMissing) {
    const QString first = addChart(1, {"胃", "", "", ""});
    const QString second = addChart(2, {"胃", "", "", ""});
    const QString third = addChart(3, {"胃", "", "", ""});
    ASSERT_TRUE(QFile::rename(second, second + ".moved"));
    startWindow();
    search({"胃"}, [&](TSrchResultForm& results) {
        EXPECT_EQ(results.windowTitle(), "検索結果");
        EXPECT_EQ(results.recordCountText(), "3");
        for (int column = 0; column < IndexRowModel::ColumnCount; ++column) {
            EXPECT_EQ(results.grid()->columnWidth(column), IndexRowModel::resultWidth(column));
        }
        using Nav = TSrchResultForm::Navigate;
        EXPECT_EQ(results.navigator(Nav::First)->toolTip(), "最初のレコード");
        EXPECT_EQ(results.navigator(Nav::Last)->toolTip(), "最後のレコード");
        EXPECT_EQ(results.currentRow(), 0);
        clickTool(results.showAction());
        EXPECT_EQ(m_opener.opened, QList<QUrl>{QUrl::fromLocalFile(first)});

        clickTool(results.navigator(Nav::Next));
        clickTool(results.showAction());
        EXPECT_EQ(results.messageText(), "ファイルが見つかりません。");
        EXPECT_EQ(m_opener.opened.size(), 1);

        // A click on a row makes it current; Enter opens it as "表示" does.
        QTableView* grid = results.grid();
        const QRect third = grid->visualRect(grid->model()->index(2, 1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, third.center());
        EXPECT_EQ(results.currentRow(), 2);
        EXPECT_FALSE(results.navigator(Nav::Next)->isEnabled());
        QTest::keyClick(grid, Qt::Key_Return);
        EXPECT_EQ(results.messageText(), "");
        clickTool(results.navigator(Nav::First));
        EXPECT_EQ(results.currentRow(), 0);
        EXPECT_FALSE(results.navigator(Nav::Prior)->isEnabled());
    });
    EXPECT_EQ(m_opener.opened,
              (QList<QUrl>{QUrl::fromLocalFile(first), QUrl::fromLocalFile(third)}));
}

TEST_P(SearchWindowTest, AFailingSearchSaysSoAndOpensNoWindow) {
    addChart(1, {"胃", "", "", ""});
    startWindow();
    m_testbed->exec("DROP TABLE PeloraFileDB");
    EXPECT_EQ(search({"胃"}), QStringList());
    EXPECT_EQ(m_form->statusText(Panel::Message),
              "検索でエラーが発生しました。データベースを確認してください。");
    EXPECT_EQ(m_prompts.shownDialogs.count("SrchResultForm"), 0);
}

TEST_P(SearchWindowTest, AHundredThousandRowsOpenAtOnceAndScrollToTheEnd) {
    constexpr int total = 100000;
    std::vector<ChartIndex::StoredRow> rows;
    rows.reserve(total);
    for (int n = 1; n <= total; ++n) {
        rows.push_back({0,
                        n,
                        0,
                        QDateTime(QDate(2026, 1, 1), QTime(8, 0)),
                        QStringLiteral("/archive/%1.pdf").arg(n),
                        {"定期", "", "", ""}});
    }
    {
        ChartIndex::BulkImport import(m_index);
        ASSERT_TRUE(import.add(rows) && import.commit()) << m_index.lastError().toStdString();
    }
    startWindow();
    m_prompts.dialogAnswers.enqueue([](QDialog& d) { return typeAndSearch(d, {"定期"}); });
    m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
        auto& results = static_cast<TSrchResultForm&>(d);
        results.show();
        EXPECT_LE(results.rows()->rowCount(), IndexCursor::FirstPageRows);
        // The rows show at once; their number follows from a count of its own.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !results.recordCountText().isEmpty(); }, 20000));
        EXPECT_EQ(results.recordCountText(), QString::number(total));
        EXPECT_EQ(results.messageText(), "");
        QTableView* grid = results.grid();
        grid->setFocus();
        // Ctrl+End reads the rest on a job and stands on the last row when it is in; the view
        // scrolling meanwhile reads nothing twice.
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_PageDown);
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return results.currentRow() == total - 1; }, 60000));
        EXPECT_EQ(results.rows()->rowCount(), total);
        EXPECT_EQ(results.currentRow(), total - 1);
        EXPECT_EQ(grid->verticalScrollBar()->value(), grid->verticalScrollBar()->maximum());
        EXPECT_EQ(results.rows()->rowAt(total - 1).pidno, total);
        return int(QDialog::Rejected);
    });
    clickMenuEntry(*m_form, m_form->command(Command::KeywordSearch));

    // "最後のレコード" reads to the end in steps and stands on the last row.
    m_prompts.dialogAnswers.enqueue([](QDialog& d) { return typeAndSearch(d, {"定期"}); });
    m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
        auto& results = static_cast<TSrchResultForm&>(d);
        results.show();
        QSignalSpy reached(&results, &TSrchResultForm::reachedLast);
        clickTool(results.navigator(TSrchResultForm::Navigate::Last));
        EXPECT_TRUE(reached.wait(60000));
        EXPECT_EQ(results.currentRow(), total - 1);
        return int(QDialog::Rejected);
    });
    clickMenuEntry(*m_form, m_form->command(Command::KeywordSearch));
}

INSTANTIATE_TEST_SUITE_P(Backends, SearchWindowTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
