// SPDX-License-Identifier: GPL-3.0-or-later
// Every change of the index as one whole, on both backends: a failure at any step leaves no
// trace, the chained trail shows every change made behind the program's back, a workstation's
// role can neither rewrite the trail nor write half a change, an older index is brought up to
// date at its first open, and a server that stops answering or goes away costs one operation.

#include "index/chartindex.h"
#include "index/chartindexschema.h"
#include "serverenvironment.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

using chartindex::ChangeStatus;

/// What the three tables hold, to compare before and after a change that failed.
struct Snapshot {
    QStringList rows;
    QStringList hashes;
    qint64 auditLines = 0;
    bool operator==(const Snapshot&) const = default;
};

class RecordApiTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        createIndex();
        ASSERT_TRUE(m_index.open(m_testbed->folder())) << m_index.lastError().toStdString();
    }

    ChartIndex::StoredRow add(int pidno, const QString& path, const QByteArray& hash = "aa11") {
        const auto added = m_index.insertChart({pidno, 0, path, {"胸部", "", "", ""}, hash});
        EXPECT_TRUE(added) << added.error.toStdString();
        return added.row.value_or(ChartIndex::StoredRow{});
    }

    Snapshot snapshot() {
        Snapshot taken;
        IndexCursor rows = m_index.allRows();
        while (auto row = rows.next()) {
            taken.rows << QStringLiteral("%1 %2 %3 %4")
                              .arg(row->id)
                              .arg(row->pidno)
                              .arg(row->filePath, QStringList(row->keys.begin(), row->keys.end())
                                                      .join(QLatin1Char('|')));
            taken.hashes << QString::fromLatin1(m_index.storedHash(row->filePath).value_or("?"));
        }
        m_index.forEachAuditRow(std::nullopt, [&](const auto&) { ++taken.auditLines; });
        return taken;
    }

    std::vector<QString> trailFindings() {
        std::vector<QString> found;
        EXPECT_TRUE(m_index.checkTrail([&](const auto& finding) { found.push_back(finding.what); }))
            << m_index.lastError().toStdString();
        return found;
    }

    /// Makes every write of \p table fail, as a full disk or a refusing server would.
    void refuseWrites(const QString& table) {
        if (GetParam() == Backend::Sqlite) {
            for (const char* event : {"INSERT", "UPDATE", "DELETE"}) {
                m_testbed->exec(QStringLiteral("CREATE TRIGGER refuse_%1_%2 BEFORE %2 ON %1 BEGIN "
                                               "SELECT RAISE(ABORT, 'refused'); END")
                                    .arg(table, event));
            }
        } else {
            m_testbed->exec("CREATE OR REPLACE FUNCTION refuse() RETURNS trigger AS $$ BEGIN "
                            "RAISE EXCEPTION 'refused'; END $$ LANGUAGE plpgsql");
            m_testbed->exec(QStringLiteral("CREATE TRIGGER refuse_%1 BEFORE INSERT OR UPDATE OR "
                                           "DELETE ON %1 FOR EACH ROW EXECUTE FUNCTION refuse()")
                                .arg(table));
        }
    }
    void allowWrites(const QString& table) {
        if (GetParam() == Backend::Sqlite) {
            for (const char* event : {"INSERT", "UPDATE", "DELETE"}) {
                m_testbed->exec(QStringLiteral("DROP TRIGGER refuse_%1_%2").arg(table, event));
            }
        } else {
            m_testbed->exec(QStringLiteral("DROP TRIGGER refuse_%1 ON %1").arg(table));
        }
    }

    /// Lets the tables' owner change the trail, as someone with the index file or the owner's
    /// password could.
    void lowerTheGuard() {
        if (GetParam() == Backend::Sqlite) {
            m_testbed->exec("DROP TRIGGER ChartAuditNoUpdate");
            m_testbed->exec("DROP TRIGGER ChartAuditNoDelete");
        } else {
            m_testbed->exec("ALTER TABLE ChartAudit DISABLE TRIGGER USER");
        }
    }

    ChartIndex m_index;
};

TEST_P(RecordApiTest, AFailureAtAnyStepOfAChangeLeavesNeitherRowNorHashNorLine) {
    const auto kept = add(1, "/kept.pdf");
    struct Change {
        const char* name;
        std::function<ChartIndex::ChangeResult(ChartIndex&)> run;
        QStringList writes; ///< the tables the change writes, in order
    };
    const std::vector<Change> changes{
        {"insert",
         [](ChartIndex& index) {
             return index.insertChart({2, 0, "/new.pdf", {}, "bb22"});
         },
         {"PeloraFileDB", "ChartHash", "ChartAudit"}},
        {"register",
         [](ChartIndex& index) {
             return index.registerChart({3, 0, "/found.pdf", {}, "cc33"});
         },
         {"PeloraFileDB", "ChartHash", "ChartAudit"}},
        {"keyword edit",
         [&kept](ChartIndex& index) {
             return index.editKeywords(kept, {"腹部", "", "", ""});
         },
         {"PeloraFileDB", "ChartAudit"}},
        {"deletion",
         [&kept](ChartIndex& index) { return index.deleteChart(kept); },
         {"PeloraFileDB", "ChartAudit"}},
        {"hash update",
         [](ChartIndex& index) { return index.recordHash("/kept.pdf", "dd44"); },
         {"ChartHash", "ChartAudit"}},
    };
    for (const auto& change : changes) {
        for (const QString& table : change.writes) {
            SCOPED_TRACE(std::string(change.name) + ", refused by " + table.toStdString());
            const Snapshot before = snapshot();
            refuseWrites(table);
            // A fresh index each time: the insert's failure closes its index to inserts.
            ChartIndex index;
            ASSERT_TRUE(index.open(m_testbed->folder())) << index.lastError().toStdString();
            const auto result = change.run(index);
            allowWrites(table);
            EXPECT_EQ(result.status, ChangeStatus::Failed);
            EXPECT_FALSE(result.error.isEmpty());
            EXPECT_EQ(snapshot(), before);
        }
    }
    EXPECT_TRUE(trailFindings().empty());
}

TEST_P(RecordApiTest, TheTrailShowsEveryChangeMadeBehindTheProgramsBack) {
    struct Damage {
        const char* name;
        QString statement;
        bool needsLoweredGuard;
    };
    const std::vector<Damage> damages{
        {"an audit line deleted", "DELETE FROM ChartAudit WHERE Pidno = 2", true},
        {"an audit line rewritten", "UPDATE ChartAudit SET NewKey1 = 'x' WHERE Pidno = 1", true},
        {"a chart's hash rewritten",
         "UPDATE ChartHash SET Sha256 = 'ffff' WHERE FilePath = '/c1.pdf'", false},
        {"a hash added", "INSERT INTO ChartHash VALUES ('/other.pdf', 'ee55', '2024-01-01')",
         false},
        {"a row deleted", "DELETE FROM PeloraFileDB WHERE Pidno = 3", false},
        {"a row's keywords changed", "UPDATE PeloraFileDB SET Key2 = 'x' WHERE Pidno = 1", false},
        {"a row added", IndexTestbed::insertStatement(9, "/smuggled.pdf"), false},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.name);
        // Each damage on an index of its own, changed by the program first.
        IndexTestbed testbed(GetParam(), ServerEnvironment::server());
        QString error;
        ASSERT_TRUE(testbed.create(&error)) << error.toStdString();
        ChartIndex index;
        ASSERT_TRUE(index.open(testbed.folder()));
        for (int pidno : {1, 2, 3}) {
            ASSERT_TRUE(index.insertChart(
                {pidno, 0, QStringLiteral("/c%1.pdf").arg(pidno), {"胸部", "", "", ""}, "aa"}));
        }
        const auto first = index.patientRows(1).next();
        ASSERT_TRUE(first && index.editKeywords(*first, {"腹部", "", "", ""}));
        ASSERT_TRUE(index.recordHash("/c2.pdf", "bb"));
        int findings = 0;
        ASSERT_TRUE(index.checkTrail([&](const auto&) { ++findings; }));
        ASSERT_EQ(findings, 0) << "the untouched index";

        if (damage.needsLoweredGuard) {
            if (GetParam() == Backend::Sqlite) {
                testbed.exec("DROP TRIGGER ChartAuditNoUpdate");
                testbed.exec("DROP TRIGGER ChartAuditNoDelete");
            } else {
                testbed.exec("ALTER TABLE ChartAudit DISABLE TRIGGER USER");
            }
        }
        testbed.exec(damage.statement);
        QStringList found;
        ASSERT_TRUE(index.checkTrail([&](const auto& finding) { found << finding.what; }));
        EXPECT_FALSE(found.isEmpty());
    }
}

TEST_P(RecordApiTest, AWorkstationsRoleWorksButCanNeitherRewriteTheTrailNorWriteHalfAChange) {
    if (GetParam() != Backend::Postgres) {
        GTEST_SKIP() << "roles are the server's";
    }
    const QString role =
        QStringLiteral("station_%1").arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
    m_testbed->exec(QStringLiteral("CREATE ROLE %1 LOGIN").arg(role));
    m_testbed->connectAs(role);
    {
        ChartIndex station;
        ASSERT_TRUE(station.open(m_testbed->folder())) << station.lastError().toStdString();
        const auto added = station.insertChart({5, 0, "/s.pdf", {"胸部", "", "", ""}, "aa"});
        ASSERT_TRUE(added) << added.error.toStdString();
        ASSERT_TRUE(station.editKeywords(*added.row, {"腹部", "", "", ""}));
        EXPECT_EQ(station.searchKeywords({"腹部", "", "", ""}).next()->filePath, "/s.pdf");
        EXPECT_TRUE(station.recordHash("/s.pdf", "bb"));
    }
    IndexTestbed::Peer peer(*m_testbed, role);
    QString error;
    for (const char* statement :
         {"DELETE FROM ChartAudit", "UPDATE ChartAudit SET Action = 'x'", "TRUNCATE ChartAudit",
          "ALTER TABLE ChartAudit DISABLE TRIGGER USER",
          "DROP TRIGGER ChartAuditAppendOnly ON ChartAudit", "DROP TABLE ChartAudit"}) {
        EXPECT_FALSE(peer.tryExec(statement, &error)) << statement;
    }
    EXPECT_TRUE(trailFindings().empty());

    // A role that may not write a side table is refused at open, before a save writes a chart.
    m_testbed->exec("REVOKE INSERT ON ChartHash FROM PUBLIC");
    ChartIndex refused;
    EXPECT_FALSE(refused.open(m_testbed->folder()));
    EXPECT_TRUE(refused.lastError().contains("INSERT")) << refused.lastError().toStdString();
    EXPECT_TRUE(refused.lastError().contains("ChartHash")) << refused.lastError().toStdString();
}

TEST_P(RecordApiTest, ANormalSaveEditAndDeletionCauseNoServerError) {
    if (GetParam() != Backend::Postgres) {
        GTEST_SKIP() << "the server's log";
    }
    const qsizetype logBefore = m_testbed->server()->log().size();
    const auto row = add(7, "/seven.pdf");
    const auto edited = m_index.editKeywords(row, {"腹部", "", "", ""});
    ASSERT_TRUE(edited);
    EXPECT_TRUE(m_index.searchKeywords({"腹部", "", "", ""}).next());
    ASSERT_TRUE(m_index.deleteChart(*edited.row));
    const QString logged = m_testbed->server()->log().mid(logBefore);
    EXPECT_FALSE(logged.contains("ERROR")) << logged.toStdString();
}

TEST_P(RecordApiTest, AServerThatStopsAnsweringCostsOneOperationAndComesBack) {
    if (GetParam() != Backend::Postgres) {
        GTEST_SKIP() << "a server of its own";
    }
    add(1, "/one.pdf");
    ChartIndex index;
    index.setStatementLimitMs(1500);
    ASSERT_TRUE(index.open(m_testbed->folder()));
    PrivateServer& server = *m_testbed->server();

    ASSERT_TRUE(server.pause());
    QElapsedTimer timer;
    timer.start();
    const auto hung = index.insertChart({2, 0, "/two.pdf", {}, "aa"});
    const qint64 waited = timer.elapsed();
    server.resume();
    EXPECT_EQ(hung.status, ChangeStatus::Failed);
    EXPECT_LT(waited, 10000) << "the statement was not abandoned";
    // The connection the hang took is made again for the next operation.
    EXPECT_TRUE(index.patientRows(1).next()) << index.lastError().toStdString();

    // An outage fails the operations while it lasts; the first one after it works again.
    ASSERT_TRUE(server.shutDown());
    IndexCursor during = index.patientRows(1);
    EXPECT_FALSE(during.next());
    EXPECT_TRUE(during.failed());
    ASSERT_TRUE(server.startAgain());
    IndexCursor after = index.patientRows(1);
    EXPECT_TRUE(after.next()) << after.error().toStdString();
    EXPECT_TRUE(index.editKeywords(*index.patientRows(1).next(), {"x", "", "", ""}))
        << index.lastError().toStdString();
}

TEST(IndexUpgrade, AnOlderIndexIsBroughtUpToDateAtItsFirstOpenWithoutLosingARow) {
    QTemporaryDir folder;
    const QString file = QDir(folder.path()).filePath(chartindex::fileName);
    {
        // An index as the version before made it: no lasting identity, an unchained trail.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "older");
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (
            const char* statement : {
                "CREATE TABLE PeloraFileDB (Pidno INTEGER NOT NULL, SubNo INTEGER NOT NULL, "
                "CreateDateTime TIMESTAMP NOT NULL, FilePath VARCHAR(255) NOT NULL DEFAULT '', "
                "Key1 VARCHAR(50) NOT NULL DEFAULT '', Key2 VARCHAR(50) NOT NULL DEFAULT '', "
                "Key3 VARCHAR(50) NOT NULL DEFAULT '', Key4 VARCHAR(50) NOT NULL DEFAULT '', "
                "Extra TEXT DEFAULT 'kept')",
                "CREATE INDEX REGPATH ON PeloraFileDB (FilePath)",
                "CREATE TABLE ChartHash (FilePath TEXT PRIMARY KEY NOT NULL, Sha256 TEXT NOT NULL, "
                "HashedAt TIMESTAMP NOT NULL)",
                "CREATE TABLE ChartAudit (AuditAt TIMESTAMP NOT NULL, Host TEXT NOT NULL, OsUser "
                "TEXT NOT NULL, Action TEXT NOT NULL, Pidno INTEGER NOT NULL, FilePath TEXT NOT "
                "NULL, OldKey1 TEXT NOT NULL DEFAULT '', OldKey2 TEXT NOT NULL DEFAULT '', OldKey3 "
                "TEXT NOT NULL DEFAULT '', OldKey4 TEXT NOT NULL DEFAULT '', NewKey1 TEXT NOT NULL "
                "DEFAULT '', NewKey2 TEXT NOT NULL DEFAULT '', NewKey3 TEXT NOT NULL DEFAULT '', "
                "NewKey4 TEXT NOT NULL DEFAULT '')",
                "INSERT INTO PeloraFileDB (Pidno, SubNo, CreateDateTime, FilePath, Key1) VALUES "
                "(1, 0, '2020-01-01 00:00:00.000', '/a.pdf', '胸部'), "
                "(2, 0, '2020-01-02 00:00:00.000', '/b.pdf', ''), "
                "(3, 0, '2020-01-03 00:00:00.000', '/c.pdf', '')",
                "DELETE FROM PeloraFileDB WHERE Pidno = 2",
                "INSERT INTO ChartHash VALUES ('/a.pdf', 'aa', '2020-01-01 00:00:00.000')",
                "INSERT INTO ChartAudit (AuditAt, Host, OsUser, Action, Pidno, FilePath) VALUES "
                "('2020-01-01 00:00:00.000', 'h', 'u', 'insert', 1, '/a.pdf')",
            }) {
            ASSERT_TRUE(q.exec(statement)) << statement << q.lastError().text().toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("older");

    ChartIndex index;
    ASSERT_TRUE(index.open(folder.path())) << index.lastError().toStdString();
    IndexCursor rows = index.allRows();
    const auto a = rows.next();
    const auto c = rows.next();
    ASSERT_TRUE(a && c);
    EXPECT_EQ(a->id, 1);
    EXPECT_EQ(c->id, 3);
    EXPECT_EQ(a->keys[0], "胸部");
    EXPECT_FALSE(rows.next());
    EXPECT_EQ(index.storedHash("/a.pdf"), QByteArray("aa"));
    int findings = 0;
    ASSERT_TRUE(index.checkTrail([&](const auto&) { ++findings; }));
    EXPECT_EQ(findings, 0);

    // The highest identity, once deleted, is never handed out again.
    ASSERT_TRUE(index.deleteChart(*c));
    const auto added = index.insertChart({4, 0, "/d.pdf", {}});
    ASSERT_TRUE(added);
    EXPECT_GT(added.row->id, 3);
    // A column of another tool stays with its rows.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "after");
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("SELECT Extra FROM PeloraFileDB WHERE Pidno = 1") && q.next());
        EXPECT_EQ(q.value(0).toString(), "kept");
        db.close();
    }
    QSqlDatabase::removeDatabase("after");
    // A second open finds it up to date and writes nothing more.
    qint64 lines = 0;
    index.forEachAuditRow(std::nullopt, [&](const auto&) { ++lines; });
    ChartIndex again;
    ASSERT_TRUE(again.open(folder.path()));
    qint64 linesAfter = 0;
    again.forEachAuditRow(std::nullopt, [&](const auto&) { ++linesAfter; });
    EXPECT_EQ(linesAfter, lines);
}

INSTANTIATE_TEST_SUITE_P(Backends, RecordApiTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
