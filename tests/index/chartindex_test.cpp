// SPDX-License-Identifier: GPL-3.0-or-later
// Opening, inserting, looking up and waiting, once per backend; what only a file can suffer
// (corruption, file permissions) on SQLite alone.

#include "index/chartindex.h"
#include "index/chartindexschema.h"
#include "serverenvironment.h"

#include <QDir>
#include <QFile>
#include <atomic>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

ChartIndex::ChartRow row(int pidno, int subNo, const QString& path) {
    ChartIndex::ChartRow r;
    r.pidno = pidno;
    r.subNo = subNo;
    r.filePath = path;
    return r;
}

std::vector<ChartIndex::StoredRow> readAll(ChartIndex& index) {
    std::vector<ChartIndex::StoredRow> rows;
    IndexCursor cursor = index.allRows();
    while (auto next = cursor.next()) {
        rows.push_back(*next);
    }
    EXPECT_FALSE(cursor.failed()) << cursor.error().toStdString();
    return rows;
}

class ChartIndexTest : public BackendTest {
protected:
    QDateTime m_now{QDate(2024, 3, 5), QTime(14, 30, 9, 123)};
    ChartIndex m_index{[this] { return m_now; }, 100};
};

TEST_P(ChartIndexTest, MissingIndexStaysClosedAndIsNotCreated) {
    EXPECT_FALSE(m_index.open(m_testbed->folder()));
    EXPECT_FALSE(m_index.isOpen());
    if (GetParam() == Backend::Sqlite) {
        EXPECT_TRUE(m_index.lastError().contains(chartindex::fileName));
        EXPECT_FALSE(QFile::exists(m_testbed->location().sqliteFile));
    } else {
        EXPECT_TRUE(m_index.lastError().contains("there is no table"))
            << m_index.lastError().toStdString();
        EXPECT_TRUE(m_index.lastError().contains(m_testbed->database()));
    }
}

TEST_P(ChartIndexTest, CreateIndexRefusesAnExistingIndex) {
    createIndex();
    QString error;
    EXPECT_EQ(chartindex::createIndex(m_testbed->location(), &error),
              chartindex::CreateResult::AlreadyExists);
    EXPECT_TRUE(error.contains("already")) << error.toStdString();
    EXPECT_TRUE(m_index.open(m_testbed->folder())) << m_index.lastError().toStdString();
}

struct SchemaCase {
    const char* name;
    const char* createTable;
};

class ChartIndexSchema : public ::testing::TestWithParam<std::tuple<Backend, SchemaCase>> {};

TEST_P(ChartIndexSchema, WrongSchemaLeavesItClosed) {
    const auto [backend, schema] = GetParam();
    PELORA_SKIP_WITHOUT_SERVER(backend);
    IndexTestbed testbed(backend, ServerEnvironment::server());
    ASSERT_TRUE(testbed.problem().isEmpty()) << testbed.problem().toStdString();
    {
        IndexTestbed::Peer peer(testbed); // makes the SQLite file, empty
        if (*schema.createTable) {
            peer.exec(schema.createTable);
        }
    }
    ChartIndex index;
    EXPECT_FALSE(index.open(testbed.folder()));
    EXPECT_FALSE(index.isOpen());
    EXPECT_FALSE(index.lastError().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChartIndexSchema,
    ::testing::Combine(
        ::testing::Values(Backend::Sqlite, Backend::Postgres),
        ::testing::Values(
            SchemaCase{"empty_database", ""},
            SchemaCase{"other_table", "CREATE TABLE Other (x INTEGER)"},
            SchemaCase{"missing_key4",
                       "CREATE TABLE PeloraFileDB (Pidno INTEGER, SubNo INTEGER, CreateDateTime "
                       "TIMESTAMP, FilePath VARCHAR(255), Key1 VARCHAR(50), Key2 VARCHAR(50), "
                       "Key3 VARCHAR(50))"},
            SchemaCase{"pidno_as_text",
                       "CREATE TABLE PeloraFileDB (Pidno VARCHAR(8), SubNo INTEGER, "
                       "CreateDateTime TIMESTAMP, FilePath VARCHAR(255), Key1 VARCHAR(50), "
                       "Key2 VARCHAR(50), Key3 VARCHAR(50), Key4 VARCHAR(50))"},
            SchemaCase{"timestamp_as_integer",
                       "CREATE TABLE PeloraFileDB (Pidno INTEGER, SubNo INTEGER, CreateDateTime "
                       "INTEGER, FilePath VARCHAR(255), Key1 VARCHAR(50), Key2 VARCHAR(50), "
                       "Key3 VARCHAR(50), Key4 VARCHAR(50))"})),
    [](const auto& info) {
        return backendName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
    });

TEST_P(ChartIndexTest, InsertStoresTheRowAndFindsItsPath) {
    createIndex();
    ASSERT_TRUE(m_index.open(m_testbed->folder())) << m_index.lastError().toStdString();
    EXPECT_EQ(m_index.rowCount(), 0);

    ChartIndex::ChartRow r = row(1234567, 2, "/charts/01/23/45/67/HP1234_1234567_2_2024_3_5.pdf");
    // 60 bytes: stored as its first 50; a cut that would split a kanji falls before it.
    r.keys = {QString(60, 'k'), QString(), QStringLiteral("a") + QString(25, QChar(0x80F8)),
              QStringLiteral("it's \"quoted\" 100% \\")};
    ASSERT_TRUE(m_index.insertChart(r)) << m_index.lastError().toStdString();
    m_now = m_now.addMSecs(1);
    ASSERT_TRUE(m_index.insertChart(row(1234567, 2, r.filePath))); // a second row is appended

    EXPECT_EQ(m_index.rowCount(), 2);
    const auto rows = readAll(m_index);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].pidno, 1234567);
    EXPECT_EQ(rows[0].subNo, 2);
    EXPECT_EQ(ChartIndex::timestampText(rows[0].createdAt), "2024-03-05 14:30:09.123");
    EXPECT_EQ(rows[0].filePath, r.filePath);
    EXPECT_EQ(rows[0].keys[0], QString(50, 'k'));
    EXPECT_EQ(rows[0].keys[1], QString());
    EXPECT_EQ(rows[0].keys[2], QStringLiteral("a") + QString(24, QChar(0x80F8)));
    EXPECT_EQ(rows[0].keys[3], r.keys[3]);
    EXPECT_EQ(ChartIndex::timestampText(rows[1].createdAt), "2024-03-05 14:30:09.124");
    EXPECT_LT(rows[0].id, rows[1].id);

    EXPECT_EQ(m_index.containsPath(r.filePath), true);
    EXPECT_EQ(m_index.containsPath(r.filePath.toUpper()), false);
    EXPECT_EQ(m_index.containsPath("/charts/other.pdf"), false);
    EXPECT_EQ(m_index.containsPath("/charts/%"), false); // bound, never a pattern
}

TEST_P(ChartIndexTest, FailedInsertClosesTheTableForTheRestOfTheRun) {
    createIndex();
    m_testbed->exec("CREATE UNIQUE INDEX OneRowPerChart ON PeloraFileDB (Pidno, SubNo)");
    ASSERT_TRUE(m_index.open(m_testbed->folder()));
    ASSERT_TRUE(m_index.insertChart(row(42, 0, "/a.pdf")));
    EXPECT_FALSE(m_index.insertChart(row(42, 0, "/b.pdf")));
    EXPECT_TRUE(m_index.lastError().contains("/b.pdf"));

    // No later save of this run adds a row, however well it would go.
    EXPECT_FALSE(m_index.insertChart(row(43, 0, "/c.pdf")));
    EXPECT_TRUE(m_index.lastError().contains("closed to new rows"));
    EXPECT_EQ(m_index.rowCount(), 1);
    EXPECT_EQ(m_index.containsPath("/c.pdf"), false);
    // The windows that browse and mend the index still read it.
    const auto rows = readAll(m_index);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].filePath, "/a.pdf");
}

TEST_P(ChartIndexTest, InsertWaitsForAWriteLockAndSaysSo) {
    createIndex();
    const QStringList lockStatements =
        GetParam() == Backend::Sqlite
            ? QStringList{"BEGIN IMMEDIATE"}
            : QStringList{"BEGIN", "LOCK TABLE PeloraFileDB IN EXCLUSIVE MODE"};
    // Another workstation holds the write lock for a while, then lets go.
    std::atomic<bool> locked{false};
    std::thread other([&] {
        IndexTestbed::Peer peer(*m_testbed);
        for (const auto& statement : lockStatements) {
            peer.exec(statement);
        }
        peer.exec(IndexTestbed::insertStatement(1, "/a"));
        locked = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        peer.exec("COMMIT");
    });
    while (!locked) {
        std::this_thread::yield();
    }
    ChartIndex patient([this] { return m_now; });
    ASSERT_TRUE(patient.open(m_testbed->folder())) << patient.lastError().toStdString();
    int waits = 0;
    EXPECT_TRUE(patient.insertChart(row(2, 0, "/b.pdf"), [&] { ++waits; }))
        << patient.lastError().toStdString();
    EXPECT_EQ(waits, 1);
    other.join();
    EXPECT_EQ(patient.rowCount(), 2);

    // One that gives up early reports the database's own reason.
    IndexTestbed::Peer peer(*m_testbed);
    for (const auto& statement : lockStatements) {
        peer.exec(statement);
    }
    ChartIndex impatient([this] { return m_now; }, 300);
    ASSERT_TRUE(impatient.open(m_testbed->folder())) << impatient.lastError().toStdString();
    EXPECT_FALSE(impatient.insertChart(row(3, 0, "/c.pdf")));
    EXPECT_TRUE(impatient.lastError().contains("/c.pdf"));
    const char* reason = GetParam() == Backend::Sqlite ? "locked" : "lock timeout";
    EXPECT_TRUE(impatient.lastError().contains(reason)) << impatient.lastError().toStdString();
    peer.exec("ROLLBACK");
}

INSTANTIATE_TEST_SUITE_P(Backends, ChartIndexTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

// --- What only a file suffers ------------------------------------------------------------

class SqliteFileTest : public ::testing::Test {
protected:
    IndexTestbed m_testbed{Backend::Sqlite, nullptr};
    QString dbPath() const { return m_testbed.location().sqliteFile; }
};

TEST_F(SqliteFileTest, CorruptOrLockedFileLeavesItClosed) {
    QString error;
    ASSERT_TRUE(m_testbed.create(&error)) << error.toStdString();
    ChartIndex index({}, 100);
    {
        IndexTestbed::Peer other(m_testbed);
        other.exec("BEGIN EXCLUSIVE");
        other.exec(IndexTestbed::insertStatement(1, "/a"));
        EXPECT_FALSE(index.open(m_testbed.folder()));
        EXPECT_TRUE(index.lastError().contains("locked")) << index.lastError().toStdString();
        other.exec("ROLLBACK");
    }
    EXPECT_TRUE(index.open(m_testbed.folder()));
    index.close();

    QFile file(dbPath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write(QByteArray(512, '\x5a'));
    file.close();
    EXPECT_FALSE(index.open(m_testbed.folder()));
}

/// Opens the index as a user who may read it but not write it: in a child process that drops to
/// "nobody" when the tests run as root (root writes any file), else with the write bits removed.
/// Returns whether the open succeeded, or std::nullopt when the child could not run.
std::optional<bool> opensWithoutWriteAccess(const QString& folder, const QString& file,
                                            bool folderToo) {
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                      QFile::ExeOther | QFile::WriteOwner);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadOther);
    if (folderToo) {
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                          QFile::ExeOther);
    }
    auto opens = [&] {
        ChartIndex index;
        return index.open(folder);
    };
    if (::geteuid() != 0) {
        const bool opened = opens();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return opened;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(3);
        }
        ::_exit(opens() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
        return std::nullopt;
    }
    return WEXITSTATUS(status) == 0;
}

TEST_F(SqliteFileTest, IndexThatCannotBeWrittenIsRefusedAtOpen) {
    for (const bool folderToo : {false, true}) {
        SCOPED_TRACE(folderToo ? "read-only folder" : "read-only file");
        QTemporaryDir dir;
        const QString file = dir.filePath(chartindex::fileName);
        QString error;
        ASSERT_TRUE(chartindex::createEmptyIndex(file, &error));
        const auto opened = opensWithoutWriteAccess(dir.path(), file, folderToo);
        if (!opened) {
            GTEST_SKIP() << "cannot run a child process as the user nobody";
        }
        EXPECT_FALSE(*opened);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    }
    // The same index, writable, opens.
    QString error;
    ASSERT_TRUE(m_testbed.create(&error));
    ChartIndex index;
    EXPECT_TRUE(index.open(m_testbed.folder())) << index.lastError().toStdString();
}

} // namespace
