// pelorafile-save and pelorafile-admin as automation uses them: real processes, a settings file
// of their own, a scanner folder, an archive and an index.

#include "index/chartindexschema.h"
#include "platform/registryfile.h"
#include "settings/tregistory.h"
#include "support/testimages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class CommandsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    Run run(const QString& program, const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", path("config"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(PELORA_BIN_DIR "/") + program, arguments);
        Run result;
        if (!process.waitForFinished(60000)) {
            return result;
        }
        result.exitCode = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    /// Settings as the program saves them at exit, with \p change applied.
    void writeSettings(const std::function<void(TRegistory&)>& change) {
        TRegistory settings;
        settings.ScannerDir = path("scanner");
        settings.Target = path("archive");
        settings.HPCode = "77";
        settings.WriteDate = false;
        change(settings);
        RegistryFile registry;
        settings.SaveToRegistry(registry);
        QDir().mkpath(path("config/Tovani"));
        QVERIFY(registry.save(path("config/Tovani/registry.reg")));
    }

    int rowCount() {
        int rows = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
            db.setDatabaseName(path("program/PeloraFileDB.db"));
            if (db.open()) {
                QSqlQuery q(db);
                if (q.exec("SELECT count(*) FROM PeloraFileDB") && q.next()) {
                    rows = q.value(0).toInt();
                }
            }
        }
        QSqlDatabase::removeDatabase("check");
        return rows;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(path("scanner"));
        QDir().mkpath(path("archive"));
        QDir().mkpath(path("program"));
    }

    void createIndexOnceOnly() {
        Run first = run("pelorafile-admin", {"create-index", path("program")});
        QCOMPARE(first.exitCode, 0);
        QVERIFY(QFile::exists(path("program/PeloraFileDB.db")));
        Run second = run("pelorafile-admin", {"create-index", path("program")});
        QCOMPARE(second.exitCode, 1);
        QVERIFY(second.err.contains("already exists"));
        QCOMPARE(run("pelorafile-admin", {"create-index", path("nowhere")}).exitCode, 2);
        QCOMPARE(run("pelorafile-admin", {}).exitCode, 64);
    }

    void batchSaveFilesTheChart() {
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) { s.FolderClear = true; });
        for (const char* name : {"b.jpg", "a.png"}) {
            QVERIFY(testimages::save(testimages::page(300, 400), path("scanner/") + name));
        }
        QFile note(path("scanner/c.txt"));
        QVERIFY(note.open(QIODevice::WriteOnly));
        note.close();
        QDir().mkpath(path("scanner/keep"));
        const QStringList common{"--program-folder", path("program")};

        Run saved =
            run("pelorafile-save", QStringList{"--patient", "1234567", "--serial", "2", "--key1",
                                               "胸部", "--creation-log", path("created.txt")} +
                                       common);
        QCOMPARE(saved.exitCode, 0);
        const QString chart = path("archive/01/23/45/67/HP77_1234567_2.pdf");
        QCOMPARE(saved.out.trimmed(), chart);
        QVERIFY(QFile::exists(chart));
        QCOMPARE(rowCount(), 1);
        // The pages of the chart left the scanner folder; a file that is no page and the
        // subfolder stay.
        QCOMPARE(QDir(path("scanner")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList{"c.txt", "keep"}));
        QFile log(path("created.txt"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll(),
                 "1234567," + chart.toUtf8() + ",\"\x8b\xb9\x95\x94\",\"\",\"\",\"\"\r\n");
    }

    void batchSaveRefusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("patient number") << QStringList{"--patient", "4.2"} << 2 << "患者番号エラー";
        QTest::newRow("serial number")
            << QStringList{"--patient", "42", "--serial", "1000"} << 3 << "連番エラー";
        QTest::newRow("first page rule")
            << QStringList{"--patient", "42", "--single"} << 4
            << "最初のページを保存しない指定により、保存ができません。";
        QTest::newRow("overwrite")
            << QStringList{"--patient", "42", "--again"} << 6 << "ファイルの上書きができません。";
        QTest::newRow("usage") << QStringList{"--serial", "1"} << 64 << "usage";
    }
    void batchSaveRefusals() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) { s.FolderClear = false; });
        QVERIFY(testimages::save(testimages::page(100, 100), path("scanner/1.jpg")));
        if (!arguments.removeOne("--single")) {
            QVERIFY(testimages::save(testimages::page(100, 100), path("scanner/2.jpg")));
        }
        if (arguments.removeOne("--again")) {
            QCOMPARE(
                run("pelorafile-save", arguments + QStringList{"--program-folder", path("program")})
                    .exitCode,
                0);
        }
        const Run refused =
            run("pelorafile-save", arguments + QStringList{"--program-folder", path("program")});
        QCOMPARE(refused.exitCode, exitCode);
        QVERIFY2(refused.err.contains(message), qPrintable(refused.err));
        QVERIFY(refused.out.isEmpty());
    }

    void batchSaveWithoutAnIndex() {
        writeSettings([](TRegistory&) {});
        const Run refused =
            run("pelorafile-save", {"--patient", "42", "--program-folder", path("program")});
        QCOMPARE(refused.exitCode, 10);
        QVERIFY(!QFile::exists(path("program/PeloraFileDB.db")));
    }

    void imageInfo() {
        QVERIFY(testimages::save(testimages::page(64, 48), path("page.png"), 200));
        const Run info = run("pelorafile-admin", {"image-info", path("page.png")});
        QCOMPARE(info.exitCode, 0);
        QVERIFY2(info.out.contains("64") && info.out.contains("48"), qPrintable(info.out));
        QVERIFY(run("pelorafile-admin", {"image-info", path("missing.png")}).exitCode != 0);
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
