// SPDX-License-Identifier: GPL-3.0-or-later
// pelorafile-save and pelorafile-admin as automation uses them: real processes, a settings file
// of their own, a scanner folder, an archive and an index.

#include "app/workjournal.h"
#include "index/chartindexschema.h"
#include "platform/registryfile.h"
#include "settings/tregistory.h"
#include "support/desktoptrash.h"
#include "support/rawnamedfiles.h"
#include "support/scannedpages.h"
#include "support/testimages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

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

    static QString binary(const QString& program) {
        return QStringLiteral(PELORA_BIN_DIR "/") + program;
    }

    void start(QProcess& process, const QString& program, const QStringList& arguments,
               const QStringList& prefix = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("HOME", path("home"));
        process.setProcessEnvironment(env);
        if (prefix.isEmpty()) {
            process.start(binary(program), arguments);
        } else {
            process.start(prefix.first(), prefix.mid(1) + QStringList{binary(program)} + arguments);
        }
    }

    static Run finished(QProcess& process) {
        Run result;
        if (!process.waitForFinished(60000)) {
            return result;
        }
        result.exitCode = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    Run run(const QString& program, const QStringList& arguments, const QStringList& prefix = {}) {
        QProcess process;
        start(process, program, arguments, prefix);
        return finished(process);
    }

    /// The patient folder's hidden temporary charts.
    QStringList temporaryCharts(const QString& folder) const {
        return QDir(folder).entryList({".*.tmp"}, QDir::Files | QDir::Hidden);
    }

    void scanPages(int count, int width = 100, int height = 100) {
        for (int i = 1; i <= count; ++i) {
            QVERIFY(testimages::save(testimages::page(width, height),
                                     path(QString("scanner/%1.jpg").arg(i, 3, 10, QChar('0')))));
        }
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
        QDir().mkpath(path("home"));
    }

    void createIndexOnceOnly() {
        Run first = run("pelorafile-admin", {"create-index", path("program")});
        QCOMPARE(first.exitCode, 0);
        QVERIFY(QFile::exists(path("program/PeloraFileDB.db")));
        Run second = run("pelorafile-admin", {"create-index", path("program")});
        QCOMPARE(second.exitCode, 1);
        QVERIFY(second.err.contains("already exists"));
        // A missing program folder is made; one that cannot be (below a file) is refused.
        QCOMPARE(run("pelorafile-admin", {"create-index", path("new/program")}).exitCode, 0);
        QVERIFY(QFile::exists(path("new/program/PeloraFileDB.db")));
        QFile file(path("file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        Run belowAFile = run("pelorafile-admin", {"create-index", path("file/program")});
        QCOMPARE(belowAFile.exitCode, 2);
        QVERIFY2(belowAFile.err.contains("cannot be made"), qPrintable(belowAFile.err));
        QCOMPARE(run("pelorafile-admin", {}).exitCode, 64);
    }

    void theSavesOwnFilesAreNeverOfferedListedOrRegistered() {
        // Save, then the registration check and the lookup, each a process of its own, as a
        // hot folder and a nightly job run them on the same folders.
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) { s.FolderClear = true; });
        scanPages(2);
        const Run saved =
            run("pelorafile-save", {"--patient", "42", "--program-folder", path("program")});
        QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
        const QString chart = saved.out.trimmed();
        const QString folder = QFileInfo(chart).path();
        QVERIFY(QFile::exists(folder + "/.pelorafile.lock"));
        QFile writing(folder + "/.HP77_42_1.pdf.0123456789abcdef0123456789abcdef.tmp");
        QVERIFY(writing.open(QIODevice::WriteOnly)); // another save's chart being written
        writing.close();
        const Run check = run("pelorafile-admin", {"--program-folder", path("program"),
                                                   "check-registration", path("archive")});
        QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
        QVERIFY(check.out.isEmpty());
        const Run lookup =
            run("pelorafile-admin", {"--program-folder", path("program"), "lookup", "42"});
        QCOMPARE(lookup.exitCode, 0);
        QCOMPARE(lookup.out.trimmed(), chart);
    }

    void batchSaveLeavesBlankPagesOutAndTurnsPagesLevel() {
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) {
            s.FolderClear = true;
            s.Stretch = true;
            s.FirstPage = true;
        });
        constexpr int Dpi = 150;
        using scannedpages::Kind;
        QVERIFY(scannedpages::write(scannedpages::page(Kind::Text, 3.0, Dpi, 1),
                                    path("scanner/1.jpg"), Dpi));
        QVERIFY(scannedpages::write(scannedpages::page(Kind::Blank, 0, Dpi, 2),
                                    path("scanner/2.jpg"), Dpi));
        QVERIFY(scannedpages::write(scannedpages::page(Kind::Text, 0, Dpi, 3),
                                    path("scanner/3.jpg"), Dpi));
        const DesktopTrash trash(path("home"));
        const Run saved = run("pelorafile-save", {"--patient", "42", "--drop-blank-pages",
                                                  "--deskew", "--program-folder", path("program")});
        QVERIFY2(saved.exitCode == 0, qPrintable(saved.err));
        // The blank sheet is named and went to the trash as a page deleted from the list; the
        // turned page was straightened, the level one left alone.
        QVERIFY2(saved.err.contains("白紙ページを除きます: " + path("scanner/2.jpg")),
                 qPrintable(saved.err));
        QVERIFY2(saved.err.contains(path("scanner/1.jpg") + ": ") &&
                     saved.err.contains("の傾きを補正しました。"),
                 qPrintable(saved.err));
        QVERIFY2(!saved.err.contains(path("scanner/3.jpg")), qPrintable(saved.err));
        QCOMPARE(trash.files(), QStringList{"2.jpg"});
        QVERIFY(QDir(path("scanner")).isEmpty());
        QFile chart(saved.out.trimmed());
        QVERIFY(chart.open(QIODevice::ReadOnly));
        const QByteArray pdf = chart.readAll();
        static const QRegularExpression pageObject(QStringLiteral("/Type\\s*/Page(?!s)"));
        QCOMPARE(QString::fromLatin1(pdf).count(pageObject), 2);
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

        // The chart's hash was taken from the bytes as they were written: it verifies, and the
        // save left its line in the audit trail.
        Run verified = run("pelorafile-admin", common + QStringList{"verify"});
        QCOMPARE(verified.exitCode, 0);
        QCOMPARE(verified.out, QString());
        QVERIFY(verified.err.contains("1 charts checked, 0 with a problem"));
        Run trail = run("pelorafile-admin", common + QStringList{"audit", "1234567"});
        QCOMPARE(trail.exitCode, 0);
        const QStringList line = trail.out.chopped(1).split('\t');
        QCOMPARE(line.size(), 14);
        QCOMPARE(line.mid(3, 4), (QStringList{"insert", "1234567", chart, ""}));
        QCOMPARE(line.at(10), "胸部");
        QCOMPARE(run("pelorafile-admin", common + QStringList{"audit", "1"}).out, QString());

        QFile damaged(chart);
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        damaged.seek(damaged.size() / 2);
        damaged.write("#");
        damaged.close();
        Run changed = run("pelorafile-admin", common + QStringList{"verify", "1", "99999999"});
        QCOMPARE(changed.exitCode, 1);
        QCOMPARE(changed.out, "changed\t" + chart + "\n");
        // Only a range of patient numbers, 1 to 99999999, is a range to verify.
        for (const QStringList& range :
             {QStringList{"5", "1"}, QStringList{"0", "0"}, QStringList{"-5", "-1"},
              QStringList{"1", "100000000"}, QStringList{"1", "5 "}, QStringList{"x", "5"}}) {
            const Run refused = run("pelorafile-admin", common + QStringList{"verify"} + range);
            QVERIFY2(refused.exitCode == 64, qPrintable(range.join(' ')));
            QCOMPARE(refused.out, QString());
        }
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

    void batchSaveRefusesSettingsItCannotTrust_data() {
        QTest::addColumn<QByteArray>("settingsFile"); // empty: no file at all
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x00\xff not a registry file \x01");
        QTest::newRow("truncated") << QByteArray("--truncated--");
    }
    void batchSaveRefusesSettingsItCannotTrust() {
        QFETCH(QByteArray, settingsFile);
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        const QString registry = path("config/Tovani/registry.reg");
        if (settingsFile == "--truncated--") {
            writeSettings([](TRegistory&) {});
            QFile f(registry);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray whole = f.readAll();
            f.close();
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(whole.left(whole.size() / 2));
        } else if (!settingsFile.isEmpty()) {
            QDir().mkpath(path("config/Tovani"));
            QFile f(registry);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(settingsFile);
        }
        // The defaults would take the home folder for scanner folder and archive, and clear it.
        QVERIFY(testimages::save(testimages::page(100, 100), path("home/holiday.jpg")));
        QVERIFY(testimages::save(testimages::page(100, 100), path("home/family.jpg")));
        const Run refused =
            run("pelorafile-save", {"--patient", "42", "--program-folder", path("program")});
        QCOMPARE(refused.exitCode, 15);
        QVERIFY2(refused.err.contains("設定ファイルを読み込めません。") &&
                     refused.err.contains(registry),
                 qPrintable(refused.err));
        QCOMPARE(QDir(path("home")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 (QStringList{"family.jpg", "holiday.jpg"}));
        QCOMPARE(rowCount(), 0);
    }

    void batchSaveReportsWhatItLeftOut() {
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) { s.FolderClear = true; });
        scanPages(3);
        QFile bad(path("scanner/002b.jpg"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture");
        bad.close();
        // A name in Latin-1, as copied from another system: no path in the program reaches it.
        RawNamedFiles copied;
        QVERIFY(copied.create(path("scanner"), "caf\xe9.jpg"));

        const Run saved =
            run("pelorafile-save", {"--patient", "42", "--program-folder", path("program")});
        QCOMPARE(saved.exitCode, 16);
        // The page it could not write is set aside where the next intake does not take it.
        const QString notSaved = path("scanner/保存できなかったページ");
        QVERIFY2(saved.err.contains("次のページは保存できませんでした。\n" +
                                    path("scanner/002b.jpg") + "\nこれらのファイルは " + notSaved +
                                    " に移しました。\n"),
                 qPrintable(saved.err));
        QVERIFY2(saved.err.contains("名前の文字コードが正しくない"), qPrintable(saved.err));
        QVERIFY(saved.err.contains(path("scanner/caf")));
        QCOMPARE(rowCount(), 1);
        QVERIFY(!QFile::exists(path("scanner/002b.jpg")));
        QFile setAside(notSaved + "/002b.jpg");
        QVERIFY(setAside.open(QIODevice::ReadOnly));
        QCOMPARE(setAside.readAll(), QByteArray("not a picture"));
        QVERIFY(copied.exists(0));
        QVERIFY(!QFile::exists(path("scanner/001.jpg"))); // the label page, read and not saved
        QVERIFY(!QFile::exists(path("scanner/002.jpg")));
        QVERIFY(!QFile::exists(path("scanner/003.jpg")));
    }

    // Scans keep arriving while the save runs: each is either a page of the chart (and then
    // gone from the folder) or still in the folder; none is set aside or lost.
    void batchSaveWhileAScannerWritesIntoTheFolder() {
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) {
            s.FolderClear = true;
            s.FirstPage = true;
        });
        scanPages(2);
        QFile bad(path("scanner/002b.jpg"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture");
        bad.close();
        QVERIFY(testimages::save(testimages::page(100, 100), path("scan.jpg")));
        QFile scan(path("scan.jpg"));
        QVERIFY(scan.open(QIODevice::ReadOnly));
        const QByteArray scanned = scan.readAll();

        QProcess save;
        start(save, "pelorafile-save", {"--patient", "42", "--program-folder", path("program")});
        QStringList dropped;
        while (save.state() != QProcess::NotRunning || dropped.isEmpty()) {
            // Each scan appears whole, as a scanner driver that renames its finished file.
            const QString name = QString("new-%1.jpg").arg(dropped.size(), 4, 10, QChar('0'));
            QFile part(path("scanner/.part"));
            QVERIFY(part.open(QIODevice::WriteOnly));
            part.write(scanned);
            part.close();
            QVERIFY(QFile::rename(part.fileName(), path("scanner/" + name)));
            dropped << name;
            save.waitForFinished(5);
        }
        QCOMPARE(save.exitStatus(), QProcess::NormalExit);
        QCOMPARE(save.exitCode(), 16);
        const QStringList left = QDir(path("scanner")).entryList(QDir::Files, QDir::Name);
        const int taken = int(dropped.size()) - int(left.size());
        for (const auto& name : left) {
            QVERIFY2(dropped.contains(name), qPrintable(name));
        }
        QFile chart(path("archive/00/00/00/42/HP77_42_0.pdf"));
        QVERIFY(chart.open(QIODevice::ReadOnly));
        QCOMPARE(int(chart.readAll().count("/Type /Page\r\n")), 2 + taken);
        QCOMPARE(QDir(path("scanner/保存できなかったページ")).entryList(QDir::Files),
                 QStringList{"002b.jpg"});
    }

    void batchSaveRefusesACropThatDropsMostOfAPage() {
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) {
            s.FolderClear = true;
            s.FirstPage = true;
        });
        scanPages(1);
        QVERIFY(testimages::save(testimages::page(2480, 3508), path("scanner/002.jpg")));
        const QStringList arguments{"--patient", "42", "--program-folder", path("program")};
        const Run refused = run("pelorafile-save", arguments);
        QCOMPARE(refused.exitCode, 23);
        QVERIFY2(refused.err.contains("次のページは一部しか保存されません。\n" +
                                      path("scanner/002.jpg") + "\n"),
                 qPrintable(refused.err));
        QCOMPARE(QDir(path("scanner")).entryList(QDir::Files), (QStringList{"001.jpg", "002.jpg"}));
        QVERIFY(QDir(path("archive")).isEmpty());
        QCOMPARE(rowCount(), 0);

        const Run help = run("pelorafile-save", {"--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains("--allow-crop"));
        QVERIFY2(help.out.contains("\n  23  "), qPrintable(help.out));

        const Run saved = run("pelorafile-save", arguments + QStringList{"--allow-crop"});
        QCOMPARE(saved.exitCode, 0);
        QCOMPARE(rowCount(), 1);
    }

    void batchSaveRemovesItsTemporaryChartWhenStopped_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGKILL, cleaned by the next save") << int(SIGKILL);
    }
    void batchSaveRemovesItsTemporaryChartWhenStopped() {
        QFETCH(int, signalNumber);
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) { s.FolderClear = false; });
        scanPages(12, 1240, 1754);
        const QString folder = path("archive/00/00/00/42");
        QProcess save;
        start(save, "pelorafile-save",
              {"--patient", "42", "--allow-crop", "--program-folder", path("program")});
        QVERIFY(save.waitForStarted());
        QElapsedTimer waited;
        waited.start();
        while (temporaryCharts(folder).isEmpty() && save.state() == QProcess::Running &&
               waited.elapsed() < 30000) {
            QThread::usleep(500);
        }
        QVERIFY2(!temporaryCharts(folder).isEmpty(), "the save never began its chart");
        ::kill(pid_t(save.processId()), signalNumber);
        QVERIFY(save.waitForFinished(30000));
        QCOMPARE(save.exitStatus(), QProcess::CrashExit);
        QCOMPARE(rowCount(), 0);
        if (signalNumber == SIGKILL) {
            QCOMPARE(temporaryCharts(folder).size(), 1); // nothing runs on SIGKILL
            const Run next =
                run("pelorafile-save", {"--patient", "42", "--serial", "1", "--allow-crop",
                                        "--program-folder", path("program")});
            QCOMPARE(next.exitCode, 0);
        }
        QCOMPARE(temporaryCharts(folder), QStringList());
    }

    void overlappingBatchSavesOfOneChartFileOne() {
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) {
            s.FolderClear = false;
            s.WriteInhibit = true;
        });
        scanPages(8, 1240, 1754);
        const QStringList arguments{"--patient", "42", "--allow-crop", "--program-folder",
                                    path("program")};
        QProcess first;
        QProcess second;
        start(first, "pelorafile-save", arguments);
        start(second, "pelorafile-save", arguments);
        const Run a = finished(first);
        const Run b = finished(second);
        QCOMPARE(QSet<int>({a.exitCode, b.exitCode}), QSet<int>({0, 6}));
        const Run& loser = a.exitCode == 6 ? a : b;
        QVERIFY2(loser.err.contains("ファイルの上書きができません。") &&
                     loser.err.contains("OverWrite Error"),
                 qPrintable(loser.err));
        QCOMPARE(rowCount(), 1);
        QCOMPARE(QDir(path("archive/00/00/00/42")).entryList(QDir::Files),
                 QStringList{"HP77_42_0.pdf"});
    }

    void batchSaveRefusesAnIndexItCannotWrite() {
        QCOMPARE(run("pelorafile-admin", {"create-index", path("program")}).exitCode, 0);
        writeSettings([](TRegistory& s) { s.FolderClear = true; });
        scanPages(2);
        QStringList prefix;
        const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                              QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                              QFile::ExeGroup;
        if (::geteuid() == 0) {
            // Root writes any file; the case is a clinic user with read access only.
            prefix = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
            for (const QString& folder : {m_dir->path(), path("config"), path("config/Tovani"),
                                          path("program"), path("home")}) {
                QFile::setPermissions(folder, everyone);
            }
            for (const QString& open : {path("scanner"), path("archive")}) {
                QFile::setPermissions(open, everyone | QFile::WriteOther);
                for (const QString& name : QDir(open).entryList(QDir::Files)) {
                    QFile::setPermissions(open + "/" + name, everyone | QFile::WriteOther);
                }
            }
            QFile::setPermissions(path("config/Tovani/registry.reg"),
                                  QFile::ReadOwner | QFile::ReadOther);
        }
        QFile::setPermissions(path("program/PeloraFileDB.db"), QFile::ReadOwner | QFile::ReadOther);
        const Run refused = run("pelorafile-save",
                                {"--patient", "42", "--program-folder", path("program")}, prefix);
        QCOMPARE(refused.exitCode, 10);
        QVERIFY2(refused.err.contains("cannot write"), qPrintable(refused.err));
        QVERIFY(QDir(path("archive")).isEmpty());
        QVERIFY(QFile::exists(path("scanner/001.jpg")));
        QFile::setPermissions(m_dir->path(), everyone);
    }

    void imageInfo() {
        QVERIFY(testimages::save(testimages::page(64, 48), path("page.png"), 200));
        const Run info = run("pelorafile-admin", {"image-info", path("page.png")});
        QCOMPARE(info.exitCode, 0);
        QVERIFY2(info.out.contains("64") && info.out.contains("48"), qPrintable(info.out));
        QVERIFY(run("pelorafile-admin", {"image-info", path("missing.png")}).exitCode != 0);
    }

    void recoverInfoPrintsTheJournalOfTheScannerFolder() {
        writeSettings([](TRegistory&) {});
        QVERIFY(run("pelorafile-admin", {"recover-info"}).exitCode == 1); // no journal yet
        scanPages(2);
        workjournal::Work work;
        work.scannerFolder = path("scanner");
        for (const char* name : {"002.jpg", "001.jpg", "003.jpg"}) {
            const QString file = path("scanner/") + name;
            work.pages.push_back(
                workjournal::Page{file, scannerfolder::identify(file), QString(), std::nullopt});
        }
        work.pages[0].shiori = QStringLiteral("紹介状");
        work.pages[1].note = QStringList{"first line", "second line"};
        work.patientText = "4711";
        work.keywords[2] = QStringLiteral("内科");
        const QString state = path("home/.local/state/pelorafile");
        QDir().mkpath(state);
        const QString journal = workjournal::journalPath(state, path("scanner"));
        QFile file(journal);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray bytes = workjournal::serialize(work, QDateTime::currentDateTimeUtc());
        file.write(bytes);
        file.close();

        const Run info = run("pelorafile-admin", {"recover-info"});
        QCOMPARE(info.exitCode, 0);
        for (const QString& line :
             {QString("patient number: 4711"), QString("keyword 3: 内科"), QString("pages: 3"),
              "1\tpresent\t" + path("scanner/002.jpg"), QString("\tcaption: 紹介状"),
              "2\tpresent\t" + path("scanner/001.jpg"), QString("\tnote: first line"),
              QString("\tnote: second line"), "3\tgone\t" + path("scanner/003.jpg")}) {
            QVERIFY2(info.out.contains(line + '\n'), qPrintable(line + " not in\n" + info.out));
        }
        // A journal file named directly, also one put aside; one cut short is refused.
        QCOMPARE(run("pelorafile-admin", {"recover-info", journal}).out, info.out);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes.left(bytes.size() - 1));
        file.close();
        const Run refused = run("pelorafile-admin", {"recover-info", path("scanner")});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains(journal), qPrintable(refused.err));
    }
};

QTEST_MAIN(CommandsTest)
#include "commands_test.moc"
