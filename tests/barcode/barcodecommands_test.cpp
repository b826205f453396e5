// SPDX-License-Identifier: GPL-3.0-or-later
// pelorafile-save taking the patient number from the label's barcode, and splitting a stack of
// several patients' charts at their labels, run as real processes on real folders.

#include "labelpages.h"
#include "platform/registryfile.h"
#include "settings/barcodesettings.h"
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

class BarcodeCommandsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    Run save(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("HOME", path("home"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(PELORA_BIN_DIR "/pelorafile-save"),
                      arguments + QStringList{"--program-folder", path("program")});
        Run result;
        if (process.waitForFinished(120000)) {
            result.exitCode = process.exitCode();
            result.out = QString::fromUtf8(process.readAllStandardOutput());
            result.err = QString::fromUtf8(process.readAllStandardError());
        }
        return result;
    }

    /// Settings as the program saves them, the label on the first page saved with the chart,
    /// Code 128 looked for.
    void writeSettings(const std::function<void(TRegistory&)>& change = {}) {
        TRegistory settings;
        settings.ScannerDir = path("scanner");
        settings.Target = path("archive");
        settings.HPCode = "77";
        settings.WriteDate = false;
        settings.FirstPage = true;
        settings.Stretch = true; // label pages are whole A4 scans
        settings.FolderClear = true;
        if (change) {
            change(settings);
        }
        BarcodeSettings barcode;
        barcode.Symbologies = {"Code128"};
        RegistryFile registry;
        settings.SaveToRegistry(registry);
        barcode.SaveToRegistry(registry);
        QDir().mkpath(path("config/Tovani"));
        QVERIFY(registry.save(path("config/Tovani/registry.reg")));
    }

    /// Scanner page \p name: a label of \p numbers (one label each, the second stuck on
    /// sideways when \p secondSideways), or a plain small page.
    void page(const QString& name, const QStringList& numbers = {}, bool secondSideways = false) {
        const QString file = path("scanner/" + name + ".jpg");
        if (numbers.isEmpty()) {
            QVERIFY(testimages::save(testimages::page(300, 400), file));
            return;
        }
        QList<labelpages::Label> labels;
        for (qsizetype n = 0; n < numbers.size(); ++n) {
            labels.append({barcode::Symbology::Code128, numbers.at(n), {20.0, 20.0 + 100.0 * n}});
        }
        if (secondSideways && labels.size() > 1) {
            labels[1].topLeftMm = {150.0, 120.0};
            labels[1].turnDegrees = 90.0;
        }
        QVERIFY(labelpages::writeJpeg(labelpages::page(labels, 200, 1.5, 8), file));
    }

    QStringList scannerFiles() const {
        return QDir(path("scanner")).entryList(QDir::Files, QDir::Name);
    }
    QStringList archiveFiles() const {
        QStringList files;
        QDirIterator it(path("archive"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << QDir(path("archive")).relativeFilePath(it.next());
        }
        files.sort();
        return files;
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
        for (const char* folder : {"scanner", "archive", "program", "home"}) {
            QDir().mkpath(path(folder));
        }
        QProcess admin;
        admin.start(QStringLiteral(PELORA_BIN_DIR "/pelorafile-admin"),
                    {"create-index", path("program")});
        QVERIFY(admin.waitForFinished(60000));
        QCOMPARE(admin.exitCode(), 0);
    }

    void numberFromTheFirstPage() {
        writeSettings();
        page("001", {"1234567"});
        page("002");

        // A typed number that is not the label's saves nothing.
        const Run disagrees = save({"--patient-from-barcode", "--patient", "7654321"});
        QCOMPARE(disagrees.exitCode, 20);
        QVERIFY(disagrees.err.contains("入力した患者番号とバーコードの患者番号が違います。"));
        QCOMPARE(archiveFiles(), QStringList());
        QCOMPARE(scannerFiles(), (QStringList{"001.jpg", "002.jpg"}));

        const Run saved = save({"--patient-from-barcode", "--patient", " 1234567"});
        QCOMPARE(saved.exitCode, 0);
        QCOMPARE(saved.out.trimmed(), path("archive/01/23/45/67/HP77_1234567_0.pdf"));
        QCOMPARE(archiveFiles(), QStringList{"01/23/45/67/HP77_1234567_0.pdf"});
        QCOMPARE(rowCount(), 1);
        QCOMPARE(scannerFiles(), QStringList());
    }

    void numberFromTheSecondPageWhenTheFirstIsNotSaved() {
        writeSettings([](TRegistory& s) { s.FirstPage = false; });
        page("001");
        page("002", {"42"});
        page("003");
        const Run saved = save({"--patient-from-barcode"});
        QCOMPARE(saved.exitCode, 0);
        QCOMPARE(archiveFiles(), QStringList{"00/00/00/42/HP77_42_0.pdf"});
    }

    void numberRefusals_data() {
        QTest::addColumn<QStringList>("firstPage");
        QTest::addColumn<bool>("sideways");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no barcode") << QStringList() << false << 18;
        QTest::newRow("not a patient number") << QStringList{"123456789"} << false << 18;
        QTest::newRow("two numbers") << QStringList{"1234567", "7654321"} << false << 19;
        QTest::newRow("two numbers, one sideways")
            << QStringList{"1234567", "7654321"} << true << 19;
    }
    void numberRefusals() {
        QFETCH(QStringList, firstPage);
        QFETCH(bool, sideways);
        QFETCH(int, exitCode);
        writeSettings();
        page("001", firstPage, sideways);
        page("002");
        const Run refused = save({"--patient-from-barcode"});
        QCOMPARE(refused.exitCode, exitCode);
        QCOMPARE(archiveFiles(), QStringList());
        QCOMPARE(scannerFiles(), (QStringList{"001.jpg", "002.jpg"}));
        QCOMPARE(rowCount(), 0);
    }

    void splitSavesOneChartPerPatient() {
        writeSettings();
        page("001", {"1111111"});
        page("002");
        page("003", {"2222222"});
        page("004");
        page("005", {"2222222"}); // the same patient's label again: the chart goes on
        const Run saved = save({"--split-by-barcode", "--key1", "外来"});
        QCOMPARE(saved.exitCode, 0);
        QCOMPARE(saved.out, path("archive/01/11/11/11/HP77_1111111_0.pdf") + "\n" +
                                path("archive/02/22/22/22/HP77_2222222_0.pdf") + "\n");
        QCOMPARE(rowCount(), 2);
        QCOMPARE(scannerFiles(), QStringList());
        // Two pages in the first chart, three in the second.
        for (const auto& [chart, pages] :
             {std::pair{QString("01/11/11/11/HP77_1111111_0.pdf"), 2},
              std::pair{QString("02/22/22/22/HP77_2222222_0.pdf"), 3}}) {
            QFile file(path("archive/" + chart));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll().count("/Type /Page\r\n") + 0, pages);
        }
    }

    void splitRefusesTheWholeStack_data() {
        QTest::addColumn<QList<QStringList>>("stack");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("page before the first label")
            << QList<QStringList>{{}, {"1111111"}, {}} << 21;
        QTest::newRow("one patient in two runs")
            << QList<QStringList>{{"1111111"}, {"2222222"}, {"1111111"}} << 22;
        QTest::newRow("a page of two numbers")
            << QList<QStringList>{{"1111111"}, {"2222222", "3333333"}} << 19;
        // The second chart exists and overwriting is forbidden: the first is not saved either,
        // and the existing chart stays as it was.
        QTest::newRow("second chart refused")
            << QList<QStringList>{{"1111111"}, {}, {"2222222"}} << 6;
    }
    void splitRefusesTheWholeStack() {
        QFETCH(QList<QStringList>, stack);
        QFETCH(int, exitCode);
        writeSettings();
        QStringList names;
        for (qsizetype n = 0; n < stack.size(); ++n) {
            names << QString("%1.jpg").arg(n + 1, 3, 10, QChar('0'));
            page(names.last().chopped(4), stack.at(n));
        }
        const QString existing = path("archive/02/22/22/22/HP77_2222222_0.pdf");
        QVERIFY(QDir().mkpath(QFileInfo(existing).absolutePath()));
        QFile old(existing);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older chart");
        old.close();

        const Run refused = save({"--split-by-barcode"});
        QCOMPARE(refused.exitCode, exitCode);
        QCOMPARE(scannerFiles(), names);
        QCOMPARE(archiveFiles(), QStringList{"02/22/22/22/HP77_2222222_0.pdf"});
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("an older chart"));
        QCOMPARE(rowCount(), 0);
    }

    void splitTakesNoPatientNumber() {
        writeSettings();
        page("001", {"1111111"});
        QCOMPARE(save({"--split-by-barcode", "--patient", "1111111"}).exitCode, 64);
        QCOMPARE(save({"--split-by-barcode", "--patient-from-barcode"}).exitCode, 64);
        QCOMPARE(save({}).exitCode, 64);
        QCOMPARE(scannerFiles(), QStringList{"001.jpg"});
    }
};

QTEST_MAIN(BarcodeCommandsTest)
#include "barcodecommands_test.moc"
