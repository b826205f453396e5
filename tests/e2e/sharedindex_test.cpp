// SPDX-License-Identifier: GPL-3.0-or-later
// A chart index shared by several workstations on a PostgreSQL server (the tests' own private
// server): creating it, copying an SQLite index into it, and many batch saves at once.

#include "index/chartindex.h"
#include "index/chartindexschema.h"
#include "platform/filelock.h"
#include "platform/programfiles.h"
#include "platform/registryfile.h"
#include "platform/sha256.h"
#include "privateserver.h"
#include "settings/tregistory.h"
#include "support/testimages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class SharedIndexTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PrivateServer> m_server;
    QString m_serverProblem;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_lastDatabase; // of the last server folder made

    QString path(const QString& name) const { return m_dir->filePath(name); }

    static QString binary(const QString& program) {
        return QStringLiteral(PELORA_BIN_DIR "/") + program;
    }

    /// A process of \p program whose per-user settings live in \p configFolder.
    void start(QProcess& process, const QString& program, const QStringList& arguments,
               const QString& configFolder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", configFolder);
        env.insert("HOME", path("home"));
        process.setProcessEnvironment(env);
        process.start(binary(program), arguments);
    }

    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };

    static Run finished(QProcess& process) {
        Run result;
        if (!process.waitForFinished(120000)) {
            return result;
        }
        result.exitCode = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    Run admin(const QStringList& arguments) {
        QProcess process;
        start(process, "pelorafile-admin", arguments, path("config"));
        return finished(process);
    }

    /// A program folder whose conf file names a new database on the private server.
    QString serverFolder(const QString& name) {
        QString error;
        const QString database = m_server->createDatabase(&error);
        m_lastDatabase = database;
        if (database.isEmpty()) {
            qWarning() << error;
            return {};
        }
        QDir().mkpath(path(name));
        QFile conf(path(name + "/" + chartindex::confFileName));
        if (!conf.open(QIODevice::WriteOnly)) {
            return {};
        }
        conf.write(PrivateServer::confText(m_server->address(database)));
        return path(name);
    }

    /// Settings of one workstation: its own scanner folder, the shared archive.
    bool writeSettings(const QString& configFolder, const QString& scanner) {
        TRegistory settings;
        settings.ScannerDir = scanner;
        settings.Target = path("archive");
        settings.HPCode = "77";
        settings.WriteDate = false;
        settings.FolderClear = true;
        RegistryFile registry;
        settings.SaveToRegistry(registry);
        QDir().mkpath(configFolder + "/Tovani");
        return registry.save(configFolder + "/Tovani/registry.reg");
    }

    static QStringList pathsIn(ChartIndex& index) {
        QStringList paths;
        IndexCursor rows = index.allRows();
        while (auto row = rows.next()) {
            paths << row->filePath;
        }
        return paths;
    }

private slots:
    void initTestCase() {
        m_server = PrivateServer::start(&m_serverProblem);
        if (!m_server) {
            qInfo() << "PostgreSQL cases will be skipped:" << m_serverProblem;
        }
    }

    void init() {
        if (!m_server) {
            QSKIP(qPrintable("no PostgreSQL server: " + m_serverProblem));
        }
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(path("archive"));
        QDir().mkpath(path("home"));
    }

    void cleanupTestCase() { m_server.reset(); }

    void createIndexAndCopyAnSqliteIndexIntoIt() {
        QDir().mkpath(path("old"));
        QCOMPARE(admin({"create-index", path("old")}).exitCode, 0);
        {
            ChartIndex old;
            QVERIFY(old.open(path("old")));
            QVERIFY(old.insertChart(
                {42, 0, "/charts/00/00/00/42/HP77_42_0.pdf", {"胸部", "", "", ""}}));
            QVERIFY(old.insertChart(
                {42, 1, "/charts/00/00/00/42/HP77_42_1.pdf", {"", "x\"y", "", ""}}));
            QVERIFY(old.insertChart({7, 0, "/charts/00/00/00/07/HP77_7_0.pdf", {}}));
        }
        const QString shared = serverFolder("shared");
        QVERIFY(!shared.isEmpty());
        const Run created = admin({"create-index", shared});
        QVERIFY2(created.exitCode == 0, qPrintable(created.err));
        QVERIFY2(created.out.contains("database index"), qPrintable(created.out));
        const Run again = admin({"create-index", shared});
        QCOMPARE(again.exitCode, 1);
        QVERIFY2(again.err.contains("already holds the table"), qPrintable(again.err));

        const Run copied = admin({"copy-index", path("old"), shared});
        QVERIFY2(copied.exitCode == 0, qPrintable(copied.err));
        QVERIFY2(copied.out.contains("copied 3 rows"), qPrintable(copied.out));
        ChartIndex from;
        ChartIndex to;
        QVERIFY(from.open(path("old")));
        QVERIFY2(to.open(shared), qPrintable(to.lastError()));
        IndexCursor a = from.allRows();
        IndexCursor b = to.allRows();
        for (int n = 0; n < 3; ++n) {
            auto left = a.next();
            auto right = b.next();
            QVERIFY(left && right);
            QCOMPARE(right->filePath, left->filePath);
            QCOMPARE(right->pidno, left->pidno);
            QCOMPARE(right->subNo, left->subNo);
            QCOMPARE(right->keys, left->keys);
            QCOMPARE(right->createdAt, left->createdAt);
        }
        QVERIFY(!b.next());

        const Run refused = admin({"copy-index", path("old"), shared});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("holds 3 rows and 3 audit lines already"),
                 qPrintable(refused.err));
        QCOMPARE(to.rowCount(), 3);
        QCOMPARE(admin({"copy-index", path("old")}).exitCode, 64);
    }

    void aSavedIndexCopiedToTheServerKeepsItsHashesAndTrail() {
        // Save → copy-index → verify, as a clinic moving to a server does it.
        QDir().mkpath(path("old"));
        QCOMPARE(admin({"create-index", path("old")}).exitCode, 0);
        QDir().mkpath(path("scanner"));
        QVERIFY(writeSettings(path("config"), path("scanner")));
        for (int patient : {42, 43}) {
            for (const char* page : {"1.jpg", "2.jpg"}) {
                QVERIFY(testimages::save(testimages::page(120, 160), path("scanner/") + page));
            }
            QProcess save;
            start(save, "pelorafile-save",
                  {"--patient", QString::number(patient), "--program-folder", path("old")},
                  path("config"));
            const Run saved = finished(save);
            QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
        }
        const QString shared = serverFolder("shared");
        QVERIFY(!shared.isEmpty());
        QCOMPARE(admin({"create-index", shared}).exitCode, 0);
        const Run copied = admin({"copy-index", path("old"), shared});
        QVERIFY2(copied.exitCode == 0, qPrintable(copied.err));

        const Run verified = admin({"--program-folder", shared, "verify"});
        QVERIFY2(verified.exitCode == 0, qPrintable(verified.out + verified.err));
        QVERIFY2(!verified.out.contains("not hashed"), qPrintable(verified.out));
        const Run trail = admin({"--program-folder", shared, "audit"});
        QCOMPARE(trail.exitCode, 0);
        QCOMPARE(trail.out.count("\tinsert\t"), 2);
        const Run checked = admin({"--program-folder", shared, "audit", "--check"});
        QVERIFY2(checked.exitCode == 0, qPrintable(checked.out + checked.err));
        // The copied trail still proves the rows: a row changed behind the program's back shows.
        QVERIFY(m_server->exec(m_lastDatabase, "UPDATE PeloraFileDB SET Key1 = 'x' WHERE "
                                               "Pidno = 43"));
        QCOMPARE(admin({"--program-folder", shared, "audit", "--check"}).exitCode, 1);
    }

    void aServerThatStopsAnsweringMidSaveEndsItWithTheChartKept() {
        const QString shared = serverFolder("hanging");
        QVERIFY(!shared.isEmpty());
        QCOMPARE(admin({"create-index", shared}).exitCode, 0);
        {
            // Statements wait two seconds for this server before they are abandoned.
            QFile conf(shared + "/" + chartindex::confFileName);
            QVERIFY(conf.open(QIODevice::Append));
            conf.write("statement_timeout=2\n");
        }
        QDir().mkpath(path("scanner"));
        QVERIFY(writeSettings(path("config"), path("scanner")));
        for (const char* page : {"1.jpg", "2.jpg"}) {
            QVERIFY(testimages::save(testimages::page(120, 160), path("scanner/") + page));
        }
        // The patient folder's lock held here keeps the save waiting after it opened the index;
        // the server stops answering meanwhile.
        const QString folder = path("archive/00/00/00/42");
        QVERIFY(QDir().mkpath(folder));
        QString error;
        auto lock =
            FileLock::acquire(folder + "/.pelorafile.lock", std::chrono::seconds(5), {}, &error);
        QVERIFY2(lock, qPrintable(error));
        QProcess save;
        start(save, "pelorafile-save", {"--patient", "42", "--program-folder", shared},
              path("config"));
        QVERIFY(QTest::qWaitFor(
            [&] { return save.readAllStandardError().contains("待っています"); }, 30000));
        QVERIFY(m_server->pause());
        QElapsedTimer timer;
        timer.start();
        lock->release();
        const Run ended = finished(save);
        const qint64 took = timer.elapsed();
        m_server->resume();
        QCOMPARE(ended.exitCode, 9); // the chart is written, its row is not
        QVERIFY2(took < 30000, qPrintable(QString::number(took)));
        QVERIFY2(ended.err.contains("HP77_42_0.pdf"), qPrintable(ended.err));
        const QString chart = folder + "/HP77_42_0.pdf";
        QVERIFY(QFile::exists(chart));

        // The hash taken while writing stays beside the chart for the registration check,
        // which offers the chart and never that side file.
        QString unread;
        const auto hash = Sha256::ofFile(chart, &unread);
        QVERIFY2(hash, qPrintable(unread));
        QCOMPARE(programfiles::writtenHash(chart), hash);
        const Run check =
            admin({"--program-folder", shared, "check-registration", path("archive")});
        QVERIFY2(check.out.trimmed() == chart, qPrintable(check.out + check.err));
    }

    void eightSavesAtOnceFileEveryRow() {
        const QString shared = serverFolder("shared");
        QVERIFY(!shared.isEmpty());
        QCOMPARE(admin({"create-index", shared}).exitCode, 0);
        constexpr int Workstations = 8;
        std::vector<std::unique_ptr<QProcess>> saves;
        for (int n = 1; n <= Workstations; ++n) {
            const QString scanner = path(QString("scanner%1").arg(n));
            const QString config = path(QString("config%1").arg(n));
            QDir().mkpath(scanner);
            QVERIFY(writeSettings(config, scanner));
            for (const char* page : {"1.jpg", "2.jpg"}) {
                QVERIFY(testimages::save(testimages::page(120, 160), scanner + "/" + page));
            }
            saves.push_back(std::make_unique<QProcess>());
            start(*saves.back(), "pelorafile-save",
                  {"--patient", QString::number(1000 + n), "--key1", QString("ws%1").arg(n),
                   "--program-folder", shared},
                  config);
        }
        QStringList expected;
        for (int n = 1; n <= Workstations; ++n) {
            const Run saved = finished(*saves[size_t(n - 1)]);
            QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
            expected << saved.out.trimmed();
            QVERIFY(QFile::exists(saved.out.trimmed()));
        }
        ChartIndex index;
        QVERIFY(index.open(shared));
        QCOMPARE(index.rowCount(), Workstations);
        QStringList found = pathsIn(index);
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
        for (int n = 1; n <= Workstations; ++n) {
            IndexCursor rows = index.searchKeywords({QString("WS%1").arg(n)});
            auto row = rows.next();
            QVERIFY(row);
            QCOMPARE(row->pidno, 1000 + n);
        }
    }

    void aWorkstationRoleThatMayNotWriteTheTrailIsRefusedBeforeAnythingIsWritten() {
        const QString shared = serverFolder("norights");
        QVERIFY(!shared.isEmpty());
        QCOMPARE(admin({"create-index", shared}).exitCode, 0);
        // The workstations' role, as a clinic set it up, but without INSERT on the trail.
        const QString role = "ws_" + m_lastDatabase;
        QString error;
        QVERIFY2(
            m_server->exec(m_lastDatabase, "CREATE ROLE " + role + " LOGIN", &error) &&
                m_server->exec(m_lastDatabase, "REVOKE INSERT ON ChartAudit FROM PUBLIC", &error),
            qPrintable(error));
        auto address = m_server->address(m_lastDatabase);
        address.user = role;
        QFile conf(shared + "/" + chartindex::confFileName);
        QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
        conf.write(PrivateServer::confText(address));
        conf.close();
        QDir().mkpath(path("scanner"));
        QVERIFY(writeSettings(path("config"), path("scanner")));
        QVERIFY(testimages::save(testimages::page(100, 100), path("scanner/1.jpg")));
        QProcess save;
        start(save, "pelorafile-save", {"--patient", "43", "--program-folder", shared},
              path("config"));
        const Run refused = finished(save);
        QCOMPARE(refused.exitCode, 10);
        QVERIFY2(refused.err.contains("ChartAudit") && refused.err.contains("INSERT"),
                 qPrintable(refused.err));
        QVERIFY(!QFileInfo::exists(path("archive/00/00/00/43")));
        QVERIFY(QFile::exists(path("scanner/1.jpg")));
    }

    void aServerThatIsDownStopsTheSaveBeforeAnythingIsWritten() {
        QDir().mkpath(path("down"));
        QFile conf(path("down/" + chartindex::confFileName));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        auto address = m_server->address("pelorafile");
        address.port = 1; // nothing listens there
        conf.write(PrivateServer::confText(address));
        conf.close();
        QDir().mkpath(path("scanner"));
        QVERIFY(writeSettings(path("config"), path("scanner")));
        QVERIFY(testimages::save(testimages::page(100, 100), path("scanner/1.jpg")));
        QVERIFY(testimages::save(testimages::page(100, 100), path("scanner/2.jpg")));
        QProcess save;
        start(save, "pelorafile-save", {"--patient", "42", "--program-folder", path("down")},
              path("config"));
        const Run refused = finished(save);
        QCOMPARE(refused.exitCode, 10);
        QVERIFY2(refused.err.contains("データベースの接続に失敗しました。") &&
                     refused.err.contains("127.0.0.1:1"),
                 qPrintable(refused.err));
        QVERIFY(QDir(path("archive")).isEmpty());
        QVERIFY(QFile::exists(path("scanner/1.jpg")));
    }
};

QTEST_MAIN(SharedIndexTest)
#include "sharedindex_test.moc"
