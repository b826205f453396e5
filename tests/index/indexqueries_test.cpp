// SPDX-License-Identifier: GPL-3.0-or-later
// The typed queries the index windows use, with the same answers on every backend: the keyword
// search, a patient's rows, a range of patients, every row, keyword edits and deletions by the
// row's identity, and several changes as one.

#include "index/chartindex.h"
#include "serverenvironment.h"

#include <QSet>

namespace {

class IndexQueriesTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        createIndex();
        ASSERT_TRUE(m_index.open(m_testbed->folder())) << m_index.lastError().toStdString();
    }

    void insert(int pidno, const QString& path, const ChartIndex::Keywords& keys = {}) {
        ASSERT_TRUE(m_index.insertChart({pidno, 0, path, keys}))
            << m_index.lastError().toStdString();
    }

    /// The paths of the rows \p cursor yields, in its order.
    static QStringList paths(IndexCursor cursor) {
        QStringList found;
        while (auto row = cursor.next()) {
            found << row->filePath;
        }
        EXPECT_FALSE(cursor.failed()) << cursor.error().toStdString();
        return found;
    }

    ChartIndex m_index{[] { return QDateTime(QDate(2024, 3, 5), QTime(9, 0)); }, 100};
};

struct SearchCase {
    const char* what;
    ChartIndex::Keywords typed;
    QStringList found;
};

TEST_P(IndexQueriesTest, KeywordSearchGivesTheSameAnswersOnEveryBackend) {
    insert(1, "/r1", {"Chest X-ray", "胸部レントゲン", "", ""});
    insert(2, "/r2", {"chest ct", "腹部", "follow-up", ""});
    insert(3, "/r3", {"ＡＢＣ", "ａｂｃ", "", ""});
    insert(4, "/r4", {"100% done", "a_b", "", "it's \"quoted\""});
    insert(5, "/r5", {"1000 done", "axb", "back\\slash", ""});
    insert(6, "/r6", {"Ünïcode É", "é", " ", ""});
    insert(7, "/r7", {"", "", "", ""});
    const std::vector<SearchCase> cases{
        {"ASCII letters match in either case", {"CHEST"}, {"/r1", "/r2"}},
        {"filled boxes are joined by AND", {"chest", "", "FOLLOW"}, {"/r2"}},
        {"only key 2, kanji", {"", "胸部"}, {"/r1"}},
        {"full-width letters are not folded", {"", "ＡＢＣ"}, {}},
        {"accented letters are not folded", {"é"}, {}},
        {"accented letter itself", {"", "é"}, {"/r6"}},
        {"% typed is a wildcard", {"100%"}, {"/r4", "/r5"}},
        {"_ typed is a wildcard", {"", "a_b"}, {"/r4", "/r5"}},
        {"a lone % matches every row, empty keys too",
         {"%"},
         {"/r1", "/r2", "/r3", "/r4", "/r5", "/r6", "/r7"}},
        {"a lone _ needs one character", {"_"}, {"/r1", "/r2", "/r3", "/r4", "/r5", "/r6"}},
        {"a double quote is a character", {"", "", "", "\"quoted\""}, {"/r4"}},
        {"an apostrophe is a character", {"", "", "", "it's"}, {"/r4"}},
        {"a backslash is a character", {"", "", "k\\s"}, {"/r5"}},
        {"a blank is text", {"", "", " "}, {"/r6"}},
        {"no match", {"nothing"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(paths(m_index.searchKeywords(c.typed)), c.found);
    }
    IndexCursor nothingTyped = m_index.searchKeywords({});
    EXPECT_FALSE(nothingTyped.next());
    EXPECT_TRUE(nothingTyped.failed());
}

TEST_P(IndexQueriesTest, PatientsRowsAndRanges) {
    insert(5, "/5");
    insert(7, "/7a");
    insert(9, "/9");
    insert(7, "/7b");
    EXPECT_EQ(paths(m_index.patientRows(7)), (QStringList{"/7a", "/7b"}));
    EXPECT_EQ(paths(m_index.patientRows(8)), QStringList());
    EXPECT_EQ(paths(m_index.patientRange(6, 9)), (QStringList{"/7a", "/9", "/7b"}));
    EXPECT_EQ(paths(m_index.patientRange(5, 5)), QStringList{"/5"});
    EXPECT_EQ(paths(m_index.patientRange(9, 6)), QStringList());
}

TEST_P(IndexQueriesTest, KeywordEditAndDeletionTouchOnlyTheirRow) {
    insert(7, "/a", {"one", "", "", ""});
    insert(7, "/b", {"two", "", "", ""}); // same patient: the identity tells them apart
    IndexCursor cursor = m_index.patientRows(7);
    const auto first = cursor.next();
    const auto second = cursor.next();
    ASSERT_TRUE(first && second);

    ASSERT_TRUE(m_index.editKeywords(*second, {QString(60, QChar(0x80F8)), "", "x", ""}))
        << m_index.lastError().toStdString();
    IndexCursor after = m_index.patientRows(7);
    EXPECT_EQ(after.next(), first);
    const auto edited = after.next();
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->keys, (ChartIndex::Keywords{QString(25, QChar(0x80F8)), "", "x", ""}));
    EXPECT_EQ(edited->createdAt, second->createdAt);

    ASSERT_TRUE(m_index.deleteChart(*first)) << m_index.lastError().toStdString();
    EXPECT_EQ(paths(m_index.allRows()), QStringList{"/b"});
    // A window that still shows the deleted row hears that it is gone, and nothing is written.
    const auto again = m_index.deleteChart(*first);
    EXPECT_EQ(again.status, chartindex::ChangeStatus::Conflict);
    EXPECT_FALSE(again.row);
    EXPECT_EQ(m_index.editKeywords(*first, {}).status, chartindex::ChangeStatus::Conflict);
    // One that shows the edited row as it was before the edit hears the row as it is now.
    const auto stale = m_index.deleteChart(*second);
    EXPECT_EQ(stale.status, chartindex::ChangeStatus::Conflict);
    ASSERT_TRUE(stale.row);
    EXPECT_EQ(stale.row->keys, edited->keys);
    EXPECT_EQ(m_index.rowCount(), 1);
}

TEST_P(IndexQueriesTest, AnIdentityIsNeverHandedOutAgain) {
    insert(65, "/65");
    insert(66, "/66");
    IndexCursor cursor = m_index.patientRows(66);
    const auto highest = cursor.next();
    ASSERT_TRUE(highest);
    ASSERT_TRUE(m_index.deleteChart(*highest));
    insert(77, "/77");
    const auto newer = m_index.patientRows(77).next();
    ASSERT_TRUE(newer);
    EXPECT_GT(newer->id, highest->id);
    // A window still showing patient 66's row deletes nothing of patient 77.
    EXPECT_EQ(m_index.deleteChart(*highest).status, chartindex::ChangeStatus::Conflict);
    EXPECT_EQ(paths(m_index.allRows()), (QStringList{"/65", "/77"}));
}

TEST_P(IndexQueriesTest, CursorReadsEveryRowOnceAcrossPages) {
    // More rows than a first page and two later pages hold.
    const int count = IndexCursor::FirstPageRows + 2 * IndexCursor::PageRows + 7;
    std::vector<ChartIndex::StoredRow> rows;
    for (int n = 0; n < count; ++n) {
        ChartIndex::StoredRow row;
        row.pidno = n % 13;
        row.filePath = QStringLiteral("/c/%1.pdf").arg(n);
        row.createdAt = QDateTime(QDate(2020, 1, 1), QTime(0, 0)).addMSecs(n);
        rows.push_back(row);
    }
    ChartIndex::BulkImport import(m_index);
    ASSERT_TRUE(import.add(rows)) << m_index.lastError().toStdString();
    ASSERT_TRUE(import.commit()) << m_index.lastError().toStdString();
    IndexCursor cursor = m_index.allRows();
    int n = 0;
    qint64 lastId = 0;
    while (auto row = cursor.next()) {
        ASSERT_LT(n, count);
        EXPECT_EQ(row->filePath, rows[size_t(n)].filePath);
        EXPECT_EQ(row->createdAt, rows[size_t(n)].createdAt); // copied stamps are kept
        EXPECT_GT(row->id, lastId);
        lastId = row->id;
        ++n;
    }
    EXPECT_FALSE(cursor.failed()) << cursor.error().toStdString();
    EXPECT_EQ(n, count);
    EXPECT_EQ(paths(m_index.patientRows(12)).size(), size_t(count / 13));
}

TEST_P(IndexQueriesTest, ABulkImportKeepsNothingUnlessCommitted) {
    insert(1, "/kept");
    const ChartIndex::StoredRow added{0,      2, 0, QDateTime(QDate(2024, 1, 1), QTime(8, 0)),
                                      "/new", {}};
    {
        ChartIndex::BulkImport import(m_index);
        ASSERT_TRUE(import.active()) << m_index.lastError().toStdString();
        ChartIndex::BulkImport nested(m_index);
        EXPECT_FALSE(nested.active());
        ASSERT_TRUE(import.add({added}));
    } // not committed
    EXPECT_EQ(paths(m_index.allRows()), QStringList{"/kept"});
    {
        ChartIndex::BulkImport import(m_index);
        ASSERT_TRUE(import.add({added}));
        EXPECT_TRUE(import.commit()) << m_index.lastError().toStdString();
    }
    EXPECT_EQ(paths(m_index.allRows()), (QStringList{"/kept", "/new"}));
}

TEST(ClosedIndex, EveryOperationFailsWithAReasonBeforeTheFirstOpen) {
    ChartIndex index;
    IndexCursor search = index.searchKeywords({"x"});
    EXPECT_FALSE(search.next());
    EXPECT_TRUE(search.failed());
    IndexCursor all = index.allRows();
    EXPECT_FALSE(all.next());
    EXPECT_TRUE(all.error().contains("not open")) << all.error().toStdString();
    EXPECT_EQ(index.editKeywords({}, {}).status, chartindex::ChangeStatus::Failed);
    EXPECT_EQ(index.deleteChart({}).status, chartindex::ChangeStatus::Failed);
    ChartIndex::BulkImport import(index);
    EXPECT_FALSE(import.active());
    EXPECT_FALSE(import.add({ChartIndex::StoredRow{}}));
    EXPECT_FALSE(import.commit());
    EXPECT_FALSE(index.lastError().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Backends, IndexQueriesTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
