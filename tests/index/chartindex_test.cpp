#include "index/chartindex.h"
#include "index/chartindexschema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

/// A second connection to an index file, playing another program (or another workstation).
class RawConnection {
public:
    explicit RawConnection(const QString& path) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", m_name);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
    }
    ~RawConnection() {
        QSqlDatabase::database(m_name).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    void exec(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(m_name));
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }

private:
    QString m_name = QStringLiteral("raw-%1").arg(++s_count);
    static inline int s_count = 0;
};

class ChartIndexTest : public ::testing::Test {
protected:
    QString dbPath() const { return m_dir.filePath(chartindex::fileName); }
    void createIndex() {
        QString error;
        ASSERT_TRUE(chartindex::createEmptyIndex(dbPath(), &error)) << error.toStdString();
    }
    ChartIndex::ChartRow row(int pidno, int subNo, const QString& path) {
        ChartIndex::ChartRow r;
        r.pidno = pidno;
        r.subNo = subNo;
        r.filePath = path;
        return r;
    }

    QTemporaryDir m_dir;
    QDateTime m_now{QDate(2024, 3, 5), QTime(14, 30, 9, 123)};
    ChartIndex m_index{[this] { return m_now; }, 100};
};

TEST_F(ChartIndexTest, MissingFileStaysClosedAndIsNotCreated) {
    EXPECT_FALSE(m_index.open(m_dir.path()));
    EXPECT_FALSE(m_index.isOpen());
    EXPECT_TRUE(m_index.lastError().contains(chartindex::fileName));
    EXPECT_FALSE(QFile::exists(dbPath()));
}

TEST_F(ChartIndexTest, CreateIndexRefusesAnExistingFile) {
    createIndex();
    QString error;
    EXPECT_FALSE(chartindex::createEmptyIndex(dbPath(), &error));
    EXPECT_TRUE(error.contains("already exists"));
    EXPECT_TRUE(m_index.open(m_dir.path())) << m_index.lastError().toStdString();
}

struct SchemaCase {
    const char* name;
    const char* createTable;
};

class ChartIndexSchema : public ChartIndexTest, public ::testing::WithParamInterface<SchemaCase> {};

TEST_P(ChartIndexSchema, WrongSchemaLeavesItClosed) {
    {
        RawConnection raw(dbPath());
        if (*GetParam().createTable) {
            raw.exec(GetParam().createTable);
        }
    }
    EXPECT_FALSE(m_index.open(m_dir.path()));
    EXPECT_FALSE(m_index.isOpen());
    EXPECT_FALSE(m_index.lastError().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChartIndexSchema,
    ::testing::Values(
        SchemaCase{"empty_database", ""},
        SchemaCase{"other_table", "CREATE TABLE Other (x INTEGER)"},
        SchemaCase{
            "missing_key4",
            "CREATE TABLE PeloraFileDB (Pidno INTEGER, SubNo INTEGER, CreateDateTime TIMESTAMP, "
            "FilePath VARCHAR(255), Key1 VARCHAR(50), Key2 VARCHAR(50), Key3 VARCHAR(50))"},
        SchemaCase{
            "pidno_as_text",
            "CREATE TABLE PeloraFileDB (Pidno VARCHAR(8), SubNo INTEGER, CreateDateTime TIMESTAMP, "
            "FilePath VARCHAR(255), Key1 VARCHAR(50), Key2 VARCHAR(50), Key3 VARCHAR(50), "
            "Key4 VARCHAR(50))"},
        SchemaCase{
            "timestamp_as_integer",
            "CREATE TABLE PeloraFileDB (Pidno INTEGER, SubNo INTEGER, CreateDateTime INTEGER, "
            "FilePath VARCHAR(255), Key1 VARCHAR(50), Key2 VARCHAR(50), Key3 VARCHAR(50), "
            "Key4 VARCHAR(50))"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChartIndexTest, CorruptOrLockedFileLeavesItClosed) {
    createIndex();
    {
        RawConnection other(dbPath());
        other.exec("BEGIN EXCLUSIVE");
        other.exec("INSERT INTO PeloraFileDB VALUES (1, 0, '2024-01-01 00:00:00.000', '/a', '', "
                   "'', '', '')");
        EXPECT_FALSE(m_index.open(m_dir.path()));
        EXPECT_TRUE(m_index.lastError().contains("locked")) << m_index.lastError().toStdString();
        other.exec("ROLLBACK");
    }
    EXPECT_TRUE(m_index.open(m_dir.path()));
    m_index.close();

    QFile file(dbPath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.write(QByteArray(512, '\x5a'));
    file.close();
    EXPECT_FALSE(m_index.open(m_dir.path()));
}

TEST_F(ChartIndexTest, InsertStoresTheRowAndFindsItsPath) {
    createIndex();
    ASSERT_TRUE(m_index.open(m_dir.path()));
    EXPECT_EQ(m_index.rowCount(), 0);

    ChartIndex::ChartRow r = row(1234567, 2, "/charts/01/23/45/67/HP1234_1234567_2_2024_3_5.pdf");
    // 60 bytes: stored as its first 50; a cut that would split a kanji falls before it.
    r.keys = {QString(60, 'k'), QString(), QStringLiteral("a") + QString(25, QChar(0x80F8)),
              QStringLiteral("it's \"quoted\" 100%")};
    ASSERT_TRUE(m_index.insertChart(r)) << m_index.lastError().toStdString();
    m_now = m_now.addMSecs(1);
    ASSERT_TRUE(m_index.insertChart(row(1234567, 2, r.filePath))); // a second row is appended

    EXPECT_EQ(m_index.rowCount(), 2);
    auto q = m_index.query("SELECT Pidno, SubNo, CreateDateTime, FilePath, Key1, Key2, Key3, Key4 "
                           "FROM PeloraFileDB ORDER BY CreateDateTime");
    ASSERT_TRUE(q.has_value());
    ASSERT_TRUE(q->next());
    EXPECT_EQ(q->value(0).toInt(), 1234567);
    EXPECT_EQ(q->value(1).toInt(), 2);
    EXPECT_EQ(q->value(2).toString(), QStringLiteral("2024-03-05 14:30:09.123"));
    EXPECT_EQ(q->value(4).toString(), QString(50, 'k'));
    EXPECT_EQ(q->value(5).toString(), QString());
    EXPECT_EQ(q->value(6).toString(), QStringLiteral("a") + QString(24, QChar(0x80F8)));
    EXPECT_EQ(q->value(7).toString(), r.keys[3]);
    ASSERT_TRUE(q->next());
    EXPECT_EQ(q->value(2).toString(), QStringLiteral("2024-03-05 14:30:09.124"));

    EXPECT_EQ(m_index.containsPath(r.filePath), true);
    EXPECT_EQ(m_index.containsPath(r.filePath.toUpper()), false);
    EXPECT_EQ(m_index.containsPath("/charts/other.pdf"), false);

    // Operator text is bound, so quotes and wildcards cannot break the statement.
    auto like = m_index.query("SELECT count(*) FROM PeloraFileDB WHERE Key4 LIKE ?",
                              {QStringLiteral("%\"quoted\"%")});
    ASSERT_TRUE(like && like->next());
    EXPECT_EQ(like->value(0).toInt(), 1);
}

TEST_F(ChartIndexTest, FailedInsertClosesTheTableForTheRestOfTheRun) {
    createIndex();
    {
        RawConnection raw(dbPath());
        raw.exec("CREATE UNIQUE INDEX OneRowPerChart ON PeloraFileDB (Pidno, SubNo)");
    }
    ASSERT_TRUE(m_index.open(m_dir.path()));
    ASSERT_TRUE(m_index.insertChart(row(42, 0, "/a.pdf")));
    EXPECT_FALSE(m_index.insertChart(row(42, 0, "/b.pdf")));
    EXPECT_FALSE(m_index.isOpen());
    EXPECT_TRUE(m_index.lastError().contains("/b.pdf"));

    EXPECT_FALSE(m_index.insertChart(row(43, 0, "/c.pdf")));
    EXPECT_EQ(m_index.rowCount(), std::nullopt);
    EXPECT_EQ(m_index.containsPath("/a.pdf"), std::nullopt);
    auto rows = m_index.query("SELECT count(*) FROM PeloraFileDB");
    ASSERT_TRUE(rows && rows->next());
    EXPECT_EQ(rows->value(0).toInt(), 1);
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

TEST_F(ChartIndexTest, IndexThatCannotBeWrittenIsRefusedAtOpen) {
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
    createIndex();
    EXPECT_TRUE(m_index.open(m_dir.path())) << m_index.lastError().toStdString();
}

TEST_F(ChartIndexTest, InsertWaitsForAWriteLockAndSaysSo) {
    createIndex();
    // Another workstation holds the write lock for a while, then lets go.
    std::atomic<bool> locked{false};
    std::thread other([&] {
        RawConnection peer(dbPath());
        peer.exec("BEGIN IMMEDIATE");
        peer.exec("INSERT INTO PeloraFileDB VALUES (1, 0, '2024-01-01 00:00:00.000', '/a', '', "
                  "'', '', '')");
        locked = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        peer.exec("COMMIT");
    });
    while (!locked) {
        std::this_thread::yield();
    }
    ChartIndex patient([this] { return m_now; });
    ASSERT_TRUE(patient.open(m_dir.path())) << patient.lastError().toStdString();
    int waits = 0;
    EXPECT_TRUE(patient.insertChart(row(2, 0, "/b.pdf"), [&] { ++waits; }))
        << patient.lastError().toStdString();
    EXPECT_EQ(waits, 1);
    other.join();
    EXPECT_EQ(patient.rowCount(), 2);

    // One that gives up early reports the database's own reason.
    RawConnection peer(dbPath());
    peer.exec("BEGIN IMMEDIATE");
    ChartIndex impatient([this] { return m_now; }, 300);
    ASSERT_TRUE(impatient.open(m_dir.path()));
    EXPECT_FALSE(impatient.insertChart(row(3, 0, "/c.pdf")));
    EXPECT_TRUE(impatient.lastError().contains("/c.pdf"));
    EXPECT_TRUE(impatient.lastError().contains("locked")) << impatient.lastError().toStdString();
    peer.exec("ROLLBACK");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the SQL drivers are plugins
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
