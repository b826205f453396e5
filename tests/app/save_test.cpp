// SPDX-License-Identifier: GPL-3.0-or-later
// Saving a chart: every check and message, the order of the effects, the creation log line and
// the index row, and the failures that must never lose or misfile a chart.

#include "app/chartsaver.h"
#include "app/creationlog.h"
#include "app/keywordpanel.h"
#include "app/pageworkspace.h"
#include "app/terrorlogform.h"
#include "app/tmainform.h"
#include "app/tpagelistview.h"
#include "app/warningdialogs.h"
#include "index/chartindex.h"
#include "index/chartindexschema.h"
#include "platform/filelock.h"
#include "platform/programfiles.h"
#include "platform/sha256.h"
#include "settings/tregistory.h"
#include "support/desktoptrash.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"
#include "support/testimages.h"

#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <future>

namespace {

/// Records what the pipeline asks of the window.
class RecordingFrontEnd final : public SaveFrontEnd {
public:
    QStringList statuses;
    QStringList overwriteRefusals;
    QStringList cannotCreate;
    QStringList errorLog;
    QStringList waits;
    QStringList clearingRefusals;
    QStringList leftOut;
    QString leftOutMovedInto;
    std::optional<QStringList> keptPages;
    QList<QStringList> partialPagesAsked;
    bool agreeToPartialPages = false;

    void showStatus(const QString& text) override { statuses << text; }
    void showOverwriteRefused(const QString& fileName) override { overwriteRefusals << fileName; }
    void showCannotCreate(const QString& pathOrName) override { cannotCreate << pathOrName; }
    void addErrorLogLine(const QString& line) override { errorLog << line; }
    void showWaiting(const QString& text) override { waits << text; }
    scannerfolder::AfterFailure cannotDelete(const QString&) override {
        return scannerfolder::AfterFailure::Next;
    }
    void showClearingRefused(const QString& why) override { clearingRefusals << why; }
    void keepOnlyPages(const QStringList& files) override { keptPages = files; }
    void showPagesLeftOut(const QStringList& files, const QString& movedInto) override {
        leftOut = files;
        leftOutMovedInto = movedInto;
    }
    bool confirmPartialPages(const QStringList& files) override {
        partialPagesAsked << files;
        return agreeToPartialPages;
    }
    QString lastStatus() const { return statuses.isEmpty() ? QString() : statuses.last(); }
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int pdfPageCount(const QString& path) {
    return int(readAll(path).count("/Type /Page\r\n"));
}

bool qpdfAccepts(const QString& path) {
    QProcess qpdf;
    qpdf.start("qpdf", {"--check", path});
    return qpdf.waitForFinished(30000) && qpdf.exitCode() == 0;
}

} // namespace

class SaveTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    TRegistory m_settings;
    QDateTime m_now;
    std::unique_ptr<ChartIndex> m_index;
    CreationLog m_log;
    RecordingFrontEnd m_frontEnd;
    std::unique_ptr<DesktopTrash> m_trash;

    QString scan(const QString& name) const { return m_dir->filePath("scanner/" + name); }
    QString archive() const { return m_dir->filePath("archive"); }

    QString page(const QString& name, int width = 200, int height = 280) {
        const QString path = scan(name);
        if (!testimages::save(testimages::page(width, height), path)) {
            qFatal("cannot write %s", qPrintable(path));
        }
        return path;
    }

    ChartSaver::Input input(const QString& patient, const QString& serial,
                            const QStringList& files) {
        ChartSaver::Input in;
        in.patientText = patient;
        in.serialText = serial;
        in.keywords = {"A1", "", "B2", ""};
        for (const auto& file : files) {
            in.pages.push_back(SavePage{file, std::nullopt, QString()});
        }
        return in;
    }

    /// Runs the whole pipeline as the batch command does.
    SaveOutcome save(const ChartSaver::Input& in, ChartSaver::Written* writtenOut = nullptr,
                     const ChartSaver::Progress& progress = {}) {
        const ChartSaver saver(m_settings, [this] { return m_now; });
        const auto checked = saver.check(in, m_frontEnd);
        if (checked.outcome != SaveOutcome::Saved) {
            return checked.outcome;
        }
        const auto written = ChartSaver::write(checked.plan, progress);
        if (writtenOut) {
            *writtenOut = written;
        }
        if (written.outcome != SaveOutcome::Saved) {
            return written.outcome;
        }
        return saver.finish(checked.plan, written, m_frontEnd, m_log, *m_index);
    }

    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            qFatal("cannot write %s", qPrintable(path));
        }
    }

    QStringList scannerFiles() const {
        return QDir(m_settings.ScannerDir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    /// "スキャナ画像読取" by a click on its tool button; returns when every thumbnail is made.
    static void clickScannerIntake(TMainForm& form) {
        QAction* intake = form.command(TMainForm::Command::ScannerIntake);
        QWidget* button = nullptr;
        for (QToolBar* bar : form.findChildren<QToolBar*>()) {
            if (QWidget* widget = bar->widgetForAction(intake)) {
                button = widget;
            }
        }
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        form.workspace().waitForThumbnails();
    }

    /// Types \p text into \p edit as the operator does, over what it held.
    static void typeInto(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    int indexRows() {
        int rows = 0;
        IndexCursor cursor = m_index->allRows();
        while (cursor.next()) {
            ++rows;
        }
        return cursor.failed() ? -1 : rows;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(m_dir->filePath("scanner"));
        QDir().mkpath(archive());
        m_settings = TRegistory();
        m_settings.ScannerDir = m_dir->filePath("scanner");
        m_settings.Target = archive();
        m_settings.HPCode = "1234";
        m_settings.FolderClear = false;
        m_now = QDateTime(QDate(2024, 3, 5), QTime(14, 30, 9));
        QString error;
        QVERIFY(chartindex::createEmptyIndex(m_dir->filePath(chartindex::fileName), &error));
        m_index = std::make_unique<ChartIndex>([this] { return m_now; });
        QVERIFY(m_index->open(m_dir->path()));
        m_log = CreationLog();
        m_frontEnd = RecordingFrontEnd();
        m_trash = std::make_unique<DesktopTrash>(m_dir->path());
    }

    /// Every chart a test wrote must satisfy an outside reader.
    void cleanup() {
        QDirIterator charts(archive(), {"*.pdf"}, QDir::Files, QDirIterator::Subdirectories);
        while (charts.hasNext()) {
            const QString chart = charts.next();
            QVERIFY2(qpdfAccepts(chart), qPrintable(chart));
        }
        m_trash.reset();
    }

    void numberChecks_data() {
        QTest::addColumn<QString>("patient");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");
        const int saved = int(SaveOutcome::Saved);
        const int patientError = int(SaveOutcome::PatientNumberError);
        const int serialError = int(SaveOutcome::SerialNumberError);
        QTest::newRow("blank before the number") << " 42"
                                                 << "0" << saved << "保存しました。";
        QTest::newRow("blank after the number") << "42 "
                                                << "0" << patientError << "患者番号エラー";
        QTest::newRow("decimal point") << "4.2"
                                       << "0" << patientError << "患者番号エラー";
        QTest::newRow("zero") << "0"
                              << "0" << patientError << "患者番号エラー";
        QTest::newRow("nine digits") << "100000000"
                                     << "0" << patientError << "患者番号エラー";
        QTest::newRow("largest patient") << "99999999"
                                         << "0" << saved << "保存しました。";
        QTest::newRow("empty") << ""
                               << "0" << patientError << "患者番号エラー";
        QTest::newRow("serial 999") << "42"
                                    << "999" << saved << "保存しました。";
        QTest::newRow("serial 1000") << "42"
                                     << "1000" << serialError << "連番エラー";
        QTest::newRow("serial -1") << "42"
                                   << "-1" << serialError << "連番エラー";
    }
    void numberChecks() {
        QFETCH(QString, patient);
        QFETCH(QString, serial);
        QFETCH(int, outcome);
        QFETCH(QString, message);
        m_settings.FirstPage = true;
        QCOMPARE(int(save(input(patient, serial, {page("1.jpg")}))), outcome);
        QCOMPARE(m_frontEnd.lastStatus(), message);
        QCOMPARE(indexRows(), outcome == int(SaveOutcome::Saved) ? 1 : 0);
    }

    void firstPageRule() {
        QCOMPARE(save(input("42", "0", {page("1.jpg")})), SaveOutcome::FirstPageRule);
        QCOMPARE(m_frontEnd.lastStatus(),
                 QStringLiteral("最初のページを保存しない指定により、保存ができません。"));
        QVERIFY(QDir(archive()).isEmpty());

        m_settings.WriteDate = false;
        QCOMPARE(save(input("42", "0", {page("1.jpg"), page("2.jpg", 300, 200)})),
                 SaveOutcome::Saved);
        const QString chart = archive() + "/00/00/00/42/HP1234_42_0.pdf";
        QCOMPARE(pdfPageCount(chart), 1);
        QVERIFY(readAll(chart).contains("/Width 300\r\n/Height 200")); // the second page
        QVERIFY(qpdfAccepts(chart));
    }

    void nothingToSaveIsRefusedBeforeAnythingIsWritten() {
        m_settings.FirstPage = true;
        QCOMPARE(save(input("42", "0", {})), SaveOutcome::NoPages);
        QCOMPARE(m_frontEnd.lastStatus(), QStringLiteral("保存できるページがありません。"));
        QFile bad(scan("bad.jpg"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("nothing");
        bad.close();
        QCOMPARE(save(input("42", "0", {scan("bad.jpg"), scan("gone.jpg")})), SaveOutcome::NoPages);
        QVERIFY(QDir(archive()).isEmpty()); // not even the patient folder
        QVERIFY(m_log.lines().isEmpty());
        QCOMPARE(indexRows(), 0);

        // A header that reads but pixels that do not: found out while writing, still no file.
        const QString truncated = page("truncated.jpg", 400, 400);
        QByteArray bytes = readAll(truncated);
        bytes.truncate(700);
        QFile t(truncated);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write(bytes);
        t.close();
        ChartSaver::Written written;
        QCOMPARE(save(input("43", "0", {truncated}), &written), SaveOutcome::NoPages);
        QCOMPARE(QDir(archive() + "/00/00/00/43").entryList(QDir::Files | QDir::Hidden),
                 QStringList{".pelorafile.lock"});
    }

    void overwriteRule() {
        m_settings.FirstPage = true;
        const auto in = input("1234567", "2", {page("1.jpg")});
        QCOMPARE(save(in), SaveOutcome::Saved);
        const QString folder = archive() + "/01/23/45/67";
        const QString chart = folder + "/HP1234_1234567_2_2024_3_5.pdf";
        QVERIFY(QFile::exists(chart));
        QCOMPARE(m_log.lines(), QStringList{"1234567," + chart + ",\"A1\",\"\",\"B2\",\"\""});

        QCOMPARE(save(in), SaveOutcome::OverwriteRefused);
        QCOMPARE(m_frontEnd.overwriteRefusals, QStringList{"HP1234_1234567_2_2024_3_5.pdf"});
        QCOMPARE(m_frontEnd.errorLog, QStringList{chart + " OverWrite Error"});
        QCOMPARE(m_log.lines().size(), 1);

        m_now = m_now.addDays(1); // another day, another file
        QCOMPARE(save(in), SaveOutcome::Saved);
        QVERIFY(QFile::exists(folder + "/HP1234_1234567_2_2024_3_6.pdf"));
        QCOMPARE(indexRows(), 2);

        m_settings.WriteInhibit = false; // replaced in place
        const QByteArray before = readAll(chart);
        QCOMPARE(save(input("1234567", "2", {page("1.jpg"), page("2.jpg")})), SaveOutcome::Saved);
        QCOMPARE(save(input("1234567", "2", {page("1.jpg"), page("2.jpg")})), SaveOutcome::Saved);
        QCOMPARE(pdfPageCount(folder + "/HP1234_1234567_2_2024_3_6.pdf"), 2);
        QCOMPARE(readAll(chart), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3); // no leftovers
    }

    void failedWriteKeepsTheOldChart() {
        m_settings.FirstPage = true;
        m_settings.WriteInhibit = false;
        m_settings.WriteDate = false;
        QCOMPARE(save(input("77", "1", {page("1.jpg")})), SaveOutcome::Saved);
        const QString folder = archive() + "/00/00/00/77";
        const QByteArray old = readAll(folder + "/HP1234_77_1.pdf");

        QDir().mkpath(scan("folder.jpg")); // exists, but cannot be opened as a file
        ChartSaver::Written written;
        QCOMPARE(save(input("77", "1", {scan("folder.jpg"), page("2.jpg")}), &written),
                 SaveOutcome::WriteError);
        QVERIFY(written.error.contains("folder.jpg"));
        QCOMPARE(readAll(folder + "/HP1234_77_1.pdf"), old);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{".pelorafile.lock", "HP1234_77_1.pdf"}));
        QCOMPARE(m_log.lines().size(), 1);
        QCOMPARE(indexRows(), 1);
    }

    void folderThatCannotBeCreated() {
        m_settings.FirstPage = true;
        QFile blocker(archive() + "/00");
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the first level should be
        blocker.close();
        QCOMPARE(save(input("5", "0", {page("1.jpg")})), SaveOutcome::FolderError);
        QCOMPARE(m_frontEnd.cannotCreate, QStringList{archive() + "/00/00/00/05"});
    }

    void pagesMissingOrUnloadableAreLeftOut() {
        m_settings.FirstPage = true;
        m_settings.WriteDate = false;
        QFile bad(scan("bad.png"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("broken");
        bad.close();
        auto in =
            input("9", "0", {page("1.jpg"), scan("missing.jpg"), scan("bad.png"), page("4.jpg")});
        in.pages[2].shiori = "bad";
        in.pages[3].note = QStringList{"note line"};
        QCOMPARE(save(in), SaveOutcome::Saved);
        const QString chart = archive() + "/00/00/00/09/HP1234_9_0.pdf";
        QCOMPARE(pdfPageCount(chart), 2);
        const QByteArray pdf = readAll(chart);
        QVERIFY(pdf.contains("/Title (bad)\r\n/Parent 2 0 R\r\n/Dest [5 0 R")); // the page before
        QVERIFY(pdf.contains("/Contents (note line)"));
        QVERIFY(qpdfAccepts(chart));
    }

    void afterSavingTheFolderIsClearedAndTheRowAdded() {
        m_settings.FirstPage = true;
        m_settings.FolderClear = true;
        const QString sixty = QString(30, QChar(0x80F8));
        auto in = input("42", "3", {page("1.jpg")});
        in.keywords = {sixty, "", "", "x\"y"};
        QCOMPARE(save(in), SaveOutcome::Saved);
        QCOMPARE(scannerFiles(), QStringList());
        QCOMPARE(m_frontEnd.keptPages, std::optional<QStringList>(QStringList()));
        QVERIFY(m_log.lines().first().endsWith(",\"" + sixty + "\",\"\",\"\",\"x\"y\""));
        QVERIFY(m_log.isModified());
        const auto row = m_index->allRows().next();
        QVERIFY(row);
        QCOMPARE(row->pidno, 42);
        QCOMPARE(row->subNo, 3);
        QCOMPARE(row->filePath, archive() + "/00/00/00/42/HP1234_42_3_2024_3_5.pdf");
        QCOMPARE(row->keys[0], QString(25, QChar(0x80F8)));
        QCOMPARE(row->keys[3], QStringLiteral("x\"y"));
        QCOMPARE(ChartIndex::timestampText(row->createdAt),
                 QStringLiteral("2024-03-05 14:30:09.000"));
    }

    void indexFailureStillWritesThePdfAndTheLogLine() {
        m_settings.FirstPage = true;
        m_index->close(); // as after an earlier failed insert
        QCOMPARE(save(input("42", "0", {page("1.jpg")})), SaveOutcome::IndexError);
        QCOMPARE(m_frontEnd.lastStatus(), QStringLiteral("データベースで障害が発生しました。"));
        const QString chart = archive() + "/00/00/00/42/HP1234_42_0_2024_3_5.pdf";
        QCOMPARE(m_frontEnd.errorLog.size(), 1); // the reason too
        QVERIFY2(m_frontEnd.errorLog.first().contains(chart) &&
                     m_frontEnd.errorLog.first().contains("not open"),
                 qPrintable(m_frontEnd.errorLog.first()));
        QVERIFY(QFile::exists(chart));
        QCOMPARE(m_log.lines().size(), 1);
        // The hash taken while writing waits beside the chart for the registration check.
        QString unread;
        QCOMPARE(programfiles::writtenHash(chart), Sha256::ofFile(chart, &unread));
    }

    void clearingLeavesNothingOfTheChartWhereIntakeReads() {
        m_settings.FolderClear = true;
        m_settings.WriteDate = false;
        const QString label = page("0.jpg"); // the first page, not saved by the rule
        const QString good = page("1.jpg");
        const QString pngNamedJpeg = scan("2.jpg");
        QVERIFY(testimages::save(testimages::page(50, 50), scan("2.png")));
        QVERIFY(QFile::rename(scan("2.png"), pngNamedJpeg));
        const QString truncated = page("3.jpg", 400, 400);
        writeFile(truncated, readAll(truncated).left(700));
        const QString rewritten = page("4.jpg");
        const QString last = page("5.jpg");
        auto in = input("9", "0", {label, good, pngNamedJpeg, truncated, rewritten, last});
        // Pages the operator deleted from the list: one as it was, one a scanner replaces while
        // the chart is written, and one taken into the list again.
        const QString removed = page("7.jpg");
        const QString replacedRemoved = page("8.jpg");
        for (const QString& file : {removed, replacedRemoved, good}) {
            in.removed.push_back({file, *scannerfolder::identify(file)});
        }

        // While the chart is written a scanner rewrites pages and drops a new one.
        auto scanner = [&](int done, int, const QString&) {
            if (done == 1) {
                QVERIFY(testimages::save(testimages::page(210, 290), rewritten));
                QVERIFY(testimages::save(testimages::page(220, 290), replacedRemoved));
                page("6.jpg");
            }
            if (done == 3) { // after the truncated page was found unreadable
                QVERIFY(testimages::save(testimages::page(210, 300), truncated));
            }
        };
        ChartSaver::Written written;
        QCOMPARE(save(in, &written, scanner), SaveOutcome::Saved);
        QCOMPARE(pdfPageCount(archive() + "/00/00/00/09/HP1234_9_0.pdf"), 3);
        QCOMPARE(written.leftOut, (QStringList{pngNamedJpeg, truncated}));
        QCOMPARE(m_frontEnd.leftOut, written.leftOut);
        const QString notSaved = scan(scannerfolder::NotSavedFolderName);
        QCOMPARE(m_frontEnd.leftOutMovedInto, notSaved);
        QCOMPARE(
            m_frontEnd.lastStatus(),
            QStringLiteral("保存しました。　保存できなかったページ：2　ごみ箱に移したページ：1"));
        // What the chart holds is gone, what it could not hold is set aside, the deleted page
        // is in the trash; the files that are not what was listed stay: the rewritten page, the
        // deleted page replaced meanwhile (its new scan), the new scan.
        QCOMPARE(scannerFiles(), (QStringList{"3.jpg", "4.jpg", "6.jpg", "8.jpg"}));
        QCOMPARE(QDir(notSaved).entryList(QDir::Files), QStringList{"2.jpg"});
        QCOMPARE(m_trash->files(), QStringList{"7.jpg"});
        QCOMPARE(m_trash->origin("7.jpg"), removed);
        QCOMPARE(m_frontEnd.keptPages, std::optional<QStringList>({truncated, rewritten}));
    }

    void cropThatDropsMostOfAPageIsAskedFirst_data() {
        QTest::addColumn<QSize>("scan");
        QTest::addColumn<bool>("stretch");
        QTest::addColumn<bool>("asked");
        // The defaults: pages of 700 x 1000 points, an image area of 634 x 934.
        QTest::newRow("A4 at 300 dpi") << QSize(2480, 3508) << false << true;
        QTest::newRow("wide strip") << QSize(1900, 500) << false << true;
        QTest::newRow("exactly half kept") << QSize(1268, 934) << false << false;
        QTest::newRow("fits") << QSize(600, 900) << false << false;
        QTest::newRow("A4 at 300 dpi, stretched") << QSize(2480, 3508) << true << false;
    }
    void cropThatDropsMostOfAPageIsAskedFirst() {
        QFETCH(QSize, scan);
        QFETCH(bool, stretch);
        QFETCH(bool, asked);
        m_settings.FirstPage = true;
        m_settings.Stretch = stretch;
        const QString small = page("1.jpg");
        const QString large = page("2.jpg", scan.width(), scan.height());
        const auto in = input("42", "0", {small, large});
        QCOMPARE(save(in), asked ? SaveOutcome::CropRefused : SaveOutcome::Saved);
        QCOMPARE(m_frontEnd.partialPagesAsked,
                 asked ? QList<QStringList>{{large}} : QList<QStringList>());
        if (!asked) {
            return;
        }
        // Answered no, nothing is written, not even the patient folder.
        QVERIFY(QDir(archive()).isEmpty());
        QCOMPARE(indexRows(), 0);
        m_frontEnd.agreeToPartialPages = true;
        QCOMPARE(save(in), SaveOutcome::Saved);
        QCOMPARE(indexRows(), 1);
    }

    void clearingNeverEmptiesHomeRootOrTheArchive_data() {
        QTest::addColumn<QString>("scannerFolder");
        QTest::addColumn<QString>("message");
        QTest::newRow("home")
            << "home"
            << "スキャナーフォルダーがホームフォルダーのため、クリアしませんでした。";
        QTest::newRow("root")
            << "/"
            << "スキャナーフォルダーがルートフォルダーのため、クリアしませんでした。";
        const QString archiveText =
            "スキャナーフォルダーが保存先フォルダーかその上位のため、クリアしませんでした。";
        QTest::newRow("archive base") << "archive" << archiveText;
        QTest::newRow("above the archive") << "." << archiveText;
        QTest::newRow("archive base with a trailing slash") << "archive/" << archiveText;
    }
    void clearingNeverEmptiesHomeRootOrTheArchive() {
        QFETCH(QString, scannerFolder);
        QFETCH(QString, message);
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", m_dir->filePath("home").toUtf8());
        QDir().mkpath(m_dir->filePath("home"));
        m_settings.FolderClear = true;
        m_settings.FirstPage = true;
        m_settings.ScannerDir =
            scannerFolder.startsWith('/') ? scannerFolder : m_dir->filePath(scannerFolder);
        const QString picture = page("1.jpg");
        const SaveOutcome outcome = save(input("42", "0", {picture}));
        qputenv("HOME", home);
        QCOMPARE(outcome, SaveOutcome::Saved);
        QCOMPARE(m_frontEnd.clearingRefusals, QStringList{message});
        QVERIFY(QFile::exists(picture));
        QCOMPARE(indexRows(), 1);

        // A folder beside the archive whose name merely begins like it is cleared.
        m_frontEnd = RecordingFrontEnd();
        m_settings.ScannerDir = archive() + "2";
        QDir().mkpath(m_settings.ScannerDir);
        QVERIFY(testimages::save(testimages::page(100, 100), m_settings.ScannerDir + "/p.jpg"));
        QCOMPARE(save(input("43", "0", {m_settings.ScannerDir + "/p.jpg"})), SaveOutcome::Saved);
        QCOMPARE(m_frontEnd.clearingRefusals, QStringList());
        QVERIFY(!QFile::exists(m_settings.ScannerDir + "/p.jpg"));
    }

    void unusableSettingsAreRefusedBeforeAnythingIsWritten_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        const QString layout = "保存先フォルダーの設定が正しくないため、保存できません。";
        const QString pageSize = "PDFのページサイズの設定が正しくないため、保存できません。";
        QTest::newRow("empty target") << "Target"
                                      << "" << layout;
        QTest::newRow("relative target") << "Target"
                                         << "charts" << layout;
        QTest::newRow("prefix climbing out") << "L1Front"
                                             << "../../x" << layout;
        QTest::newRow("suffix with a separator") << "L2Back"
                                                 << "a/b" << layout;
        QTest::newRow("prefix dot dot") << "L3Front"
                                        << ".." << layout;
        QTest::newRow("suffix dot") << "L4Back"
                                    << "." << layout;
        QTest::newRow("page too wide") << "PdfPageWidth"
                                       << "14401" << pageSize;
        QTest::newRow("page far too high") << "PdfPageHeight"
                                           << "100000" << pageSize;
        QTest::newRow("page of no width") << "PdfPageWidth"
                                          << "0" << pageSize;
    }
    void unusableSettingsAreRefusedBeforeAnythingIsWritten() {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(QString, message);
        m_settings.FirstPage = true;
        for (const auto& v : TRegistory::values()) {
            if (v.name != name) {
                continue;
            }
            if (auto text = std::get_if<QString TRegistory::*>(&v.field)) {
                m_settings.*(*text) = value;
            } else if (auto number = std::get_if<int TRegistory::*>(&v.field)) {
                m_settings.*(*number) = value.toInt();
            }
        }
        const QString before = QDir::currentPath();
        QDir::setCurrent(m_dir->path());
        const SaveOutcome outcome = save(input("42", "0", {page("1.jpg")}));
        QDir::setCurrent(before);
        QCOMPARE(outcome, SaveOutcome::SettingsRefused);
        QCOMPARE(m_frontEnd.lastStatus(), message);
        QStringList entries =
            QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        entries.sort();
        QCOMPARE(entries, (QStringList{"PeloraFileDB.db", "archive", "scanner"}));
        QVERIFY(QDir(archive()).isEmpty());
    }

    void largestPageSideAndLongestChartNameSave() {
        m_settings.FirstPage = true;
        m_settings.WriteDate = false;
        m_settings.PdfPageWidth = TRegistory::MaxPdfPageSide;
        m_settings.HPCode = QString(230 - 11, 'c'); // "HP" + code + "_42_0.pdf": 230 bytes
        QCOMPARE(save(input("42", "0", {page("1.jpg")})), SaveOutcome::Saved);
        const QString name = "HP" + m_settings.HPCode + "_42_0.pdf";
        QCOMPARE(name.size(), 230);
        QVERIFY(QFile::exists(archive() + "/00/00/00/42/" + name));
    }

    void controlCharactersInKeywordsBecomeBlanks() {
        m_settings.FirstPage = true;
        auto in = input("42", "0", {page("1.jpg")});
        in.keywords = {"a\nb", "c\r\nd", "e\tf", QString("g") + QChar(7) + QChar(0x7f)};
        QCOMPARE(save(in), SaveOutcome::Saved);
        QCOMPARE(m_log.lines().size(), 1);
        QVERIFY(m_log.lines().first().endsWith(",\"a b\",\"c  d\",\"e f\",\"g  \""));
        const auto row = m_index->allRows().next();
        QVERIFY(row);
        QCOMPARE(row->keys[1], QStringLiteral("c  d"));
        QCOMPARE(row->keys[3], QStringLiteral("g  "));
    }

    void existingChartIsRefusedBeforeTheMissingPages() {
        m_settings.FirstPage = true;
        const auto in = input("42", "0", {page("1.jpg")});
        QCOMPARE(save(in), SaveOutcome::Saved);
        const QString chart = archive() + "/00/00/00/42/HP1234_42_0_2024_3_5.pdf";
        QCOMPARE(save(input("42", "0", {scan("gone.jpg")})), SaveOutcome::OverwriteRefused);
        QCOMPARE(m_frontEnd.errorLog, QStringList{chart + " OverWrite Error"});
    }

    void overlappingSavesOfOneChartFileOneAndRefuseTheOther() {
        m_settings.FirstPage = true;
        const auto in = input("42", "0", {page("1.jpg"), page("2.jpg")});
        const QString folder = archive() + "/00/00/00/42";
        const QString chart = folder + "/HP1234_42_0_2024_3_5.pdf";
        const ChartSaver saver(m_settings, [this] { return m_now; });

        // The first save holds the folder; the second waits for it and then finds its chart.
        auto first = saver.check(in, m_frontEnd);
        QCOMPARE(first.outcome, SaveOutcome::Saved);
        RecordingFrontEnd secondFrontEnd;
        auto second =
            std::async(std::launch::async, [&] { return saver.check(in, secondFrontEnd).outcome; });
        QCOMPARE(second.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
        const auto written = ChartSaver::write(first.plan, {});
        QCOMPARE(written.outcome, SaveOutcome::Saved);
        QCOMPARE(saver.finish(first.plan, written, m_frontEnd, m_log, *m_index),
                 SaveOutcome::Saved);
        QCOMPARE(second.get(), SaveOutcome::OverwriteRefused);
        QCOMPARE(secondFrontEnd.waits.size(), 1);
        QCOMPARE(secondFrontEnd.errorLog, QStringList{chart + " OverWrite Error"});

        // A writer that takes no lock (another program) puts a file there between the check and
        // the last step: it is kept, and this save is refused.
        QVERIFY(QFile::remove(chart));
        auto third = saver.check(in, m_frontEnd);
        QCOMPARE(third.outcome, SaveOutcome::Saved);
        writeFile(chart, "theirs");
        QCOMPARE(ChartSaver::write(third.plan, {}).outcome, SaveOutcome::OverwriteRefused);
        QCOMPARE(readAll(chart), QByteArray("theirs"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{".pelorafile.lock", "HP1234_42_0_2024_3_5.pdf"}));
        QCOMPARE(indexRows(), 1);
        QVERIFY(QFile::remove(chart)); // not a chart for the outside reader
    }

    void leftoverTemporaryChartsGoUnlessAWriterHoldsThem() {
        m_settings.FirstPage = true;
        const QString folder = archive() + "/00/00/00/42";
        QDir().mkpath(folder);
        const QString stale = folder + "/.HP1234_42_1.pdf.0123456789abcdef0123456789abcdef.tmp";
        const QString live = folder + "/.HP1234_42_2.pdf.fedcba9876543210fedcba9876543210.tmp";
        const QString usersOwn = folder + "/notes.tmp";
        writeFile(stale, "killed mid-write");
        writeFile(usersOwn, "mine");
        QString error;
        const auto writer = FileLock::createExclusive(live, &error);
        QVERIFY2(writer, qPrintable(error));
        QCOMPARE(save(input("42", "0", {page("1.jpg")})), SaveOutcome::Saved);
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(live));
        QVERIFY(QFile::exists(usersOwn));
    }

    void windowSetsThePagesLeftOutAsideAndSaysWhere() {
        FakePrompts prompts;
        FakeUrlOpener opener;
        m_index.reset();
        const auto window =
            startMainWindow({m_dir->path(), {}, &prompts, &opener, [this] { return m_now; }});
        TMainForm& form = *window;
        form.settings() = m_settings;
        form.settings().FolderClear = true;
        page("1.jpg");
        page("2.jpg");
        const QString truncated = page("3.jpg", 400, 400);
        const QByteArray truncatedBytes = readAll(truncated).left(700);
        writeFile(truncated, truncatedBytes);
        clickScannerIntake(form);
        QCOMPARE(form.workspace().pages().count(), 3);
        typeInto(form.idEdit(), "42");

        QTest::mouseClick(form.saveButton(), Qt::LeftButton);
        form.waitForSave();
        QCOMPARE(form.statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("保存しました。　保存できなかったページ：1"));
        QVERIFY(prompts.shownDialogs.contains("PagesLeftOut"));
        auto* leftOut = form.findChild<TFileListWarning*>("PagesLeftOut");
        QVERIFY(leftOut);
        QCOMPARE(leftOut->names(), QStringList{"3.jpg"});
        const QString notSaved = scan(scannerfolder::NotSavedFolderName);
        QCOMPARE(leftOut->note(), "これらのファイルは " + notSaved + " に移しました。");
        QCOMPARE(scannerFiles(), QStringList());
        QCOMPARE(readAll(notSaved + "/3.jpg"), truncatedBytes);
        QVERIFY(form.workspace().pages().isEmpty());
        prompts.questionAnswers.enqueue(QMessageBox::Yes);
        QVERIFY(form.close());
    }

    // The operator takes in four pages, deletes two of them (one of them edited before), saves
    // with the folder cleared, and takes in the next patient's scans: the deleted pages are in
    // the desktop trash and never reach the next chart.
    void aPageDeletedFromTheListNeverComesBackInTheNextChart() {
        FakePrompts prompts;
        FakeUrlOpener opener;
        m_index.reset();
        const auto window =
            startMainWindow({m_dir->path(), {}, &prompts, &opener, [this] { return m_now; }});
        TMainForm& form = *window;
        form.settings() = m_settings;
        form.settings().FolderClear = true;
        form.settings().FirstPage = true;
        form.settings().WriteDate = false;
        for (int n = 1; n <= 4; ++n) {
            page(QString("%1.jpg").arg(n), 200 + n, 280);
        }
        clickScannerIntake(form);
        QCOMPARE(pageNames(form), (QStringList{"1.jpg", "2.jpg", "3.jpg", "4.jpg"}));
        QApplication::setActiveWindow(&form);

        // Page 3 is edited (the editor writes a new file under the page's name), then deleted;
        // page 2 is deleted as it was scanned.
        QVERIFY(testimages::save(testimages::page(300, 280), scan(".3.edited.jpg")));
        QVERIFY(QFile::remove(scan("3.jpg")) &&
                QFile::rename(scan(".3.edited.jpg"), scan("3.jpg")));
        const QByteArray editedPage = readAll(scan("3.jpg"));
        TPageListView* view = form.pageListView();
        for (const int row : {2, 1}) {
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                              view->visualItemRect(view->item(row)).center());
            QTest::keyClick(view, Qt::Key_Delete);
        }
        QCOMPARE(pageNames(form), (QStringList{"1.jpg", "4.jpg"}));
        typeInto(form.idEdit(), "42");
        QTest::mouseClick(form.saveButton(), Qt::LeftButton);
        form.waitForSave();
        QCOMPARE(form.statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("保存しました。　ごみ箱に移したページ：2"));
        QCOMPARE(pdfPageCount(archive() + "/00/00/00/42/HP1234_42_0.pdf"), 2);
        QCOMPARE(scannerFiles(), QStringList());
        QCOMPARE(m_trash->files(), (QStringList{"2.jpg", "3.jpg"}));
        QCOMPARE(m_trash->contents("3.jpg"), editedPage);
        QCOMPARE(m_trash->origin("2.jpg"), scan("2.jpg"));

        // The next patient's two scans, and nothing else.
        page("5.jpg");
        page("6.jpg");
        clickScannerIntake(form);
        QCOMPARE(pageNames(form), (QStringList{"5.jpg", "6.jpg"}));
        typeInto(form.idEdit(), "43");
        QTest::mouseClick(form.saveButton(), Qt::LeftButton);
        form.waitForSave();
        QCOMPARE(pdfPageCount(archive() + "/00/00/00/43/HP1234_43_0.pdf"), 2);
        prompts.questionAnswers.enqueue(QMessageBox::Yes);
        QVERIFY(form.close());
    }

    void windowAsksBeforeACropThatDropsMostOfAPage() {
        FakePrompts prompts;
        FakeUrlOpener opener;
        m_index.reset();
        const auto window =
            startMainWindow({m_dir->path(), {}, &prompts, &opener, [this] { return m_now; }});
        TMainForm& form = *window;
        form.settings() = m_settings;
        form.settings().FolderClear = true;
        form.settings().FirstPage = true;
        page("1.jpg");
        page("2.jpg", 2480, 3508);
        clickScannerIntake(form);
        typeInto(form.idEdit(), "42");

        QString text;
        QString names;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                text = box->text();
                names = box->informativeText();
                defaultButton = box->standardButton(box->defaultButton());
            }
            return int(QMessageBox::No);
        });
        QTest::mouseClick(form.saveButton(), Qt::LeftButton);
        form.waitForSave();
        QCOMPARE(prompts.shownDialogs, QStringList{"PartialPages"});
        QCOMPARE(text, QStringLiteral("次のページは一部しか保存されません。保存しますか？"));
        QCOMPARE(names, QStringLiteral("2.jpg"));
        QCOMPARE(defaultButton, QMessageBox::No);
        QVERIFY(QDir(archive()).isEmpty());
        QCOMPARE(scannerFiles(), (QStringList{"1.jpg", "2.jpg"}));

        prompts.dialogAnswers.enqueue([](QDialog&) { return int(QMessageBox::Yes); });
        QTest::mouseClick(form.saveButton(), Qt::LeftButton);
        form.waitForSave();
        QCOMPARE(pdfPageCount(archive() + "/00/00/00/42/HP1234_42_0_2024_3_5.pdf"), 2);
        prompts.questionAnswers.enqueue(QMessageBox::Yes);
        QVERIFY(form.close());
    }

    void saveButtonRunsThePipelineInTheWindow() {
        FakePrompts prompts;
        FakeUrlOpener opener;
        m_index.reset(); // the window opens the index itself
        const auto window =
            startMainWindow({m_dir->path(), {}, &prompts, &opener, [this] { return m_now; }});
        TMainForm& form = *window;
        form.settings() = m_settings;
        form.settings().FolderClear = true;
        for (int i = 1; i <= 3; ++i) {
            page(QString("%1.jpg").arg(i));
        }
        form.command(TMainForm::Command::ScannerIntake)->trigger();
        form.workspace().waitForThumbnails();
        form.idEdit()->setText("1234567");
        form.volNoEdit()->setText("2");
        form.keywordPanel()->keyBox(0)->setEditText("胸部");

        QTest::mouseClick(form.saveButton(), Qt::LeftButton);
        QVERIFY(form.isSaving());
        QVERIFY(!form.saveButton()->isEnabled()); // no second save meanwhile
        QVERIFY(!form.command(TMainForm::Command::ScannerIntake)->isEnabled());
        form.waitForSave();
        QCOMPARE(form.statusText(TMainForm::StatusPanel::Message),
                 QStringLiteral("保存しました。"));
        const QString chart = archive() + "/01/23/45/67/HP1234_1234567_2_2024_3_5.pdf";
        QCOMPARE(pdfPageCount(chart), 2); // the first page is not saved by default
        QVERIFY(form.saveButton()->isEnabled());
        QVERIFY(form.workspace().pages().isEmpty()); // folder cleared, page list emptied
        QVERIFY(!QFile::exists(scan("1.jpg")));
        QCOMPARE(form.creationLog().lines().size(), 1);
        QCOMPARE(form.idEdit()->text(), QStringLiteral("1234567")); // the boxes keep their texts
        QCOMPARE(form.keywordPanel()->keywords()[0], QStringLiteral("胸部"));

        // The same chart again: refused, the refusal goes to the error log.
        page("1.jpg");
        page("2.jpg");
        form.command(TMainForm::Command::ScannerIntake)->trigger();
        form.workspace().waitForThumbnails();
        form.idEdit()->setText("1234567"); // intake emptied it and reset the serial box
        form.volNoEdit()->setText("2");
        QTest::mouseClick(form.saveButton(), Qt::LeftButton);
        form.waitForSave();
        QVERIFY(!prompts.shownDialogs.isEmpty());
        QCOMPARE(prompts.shownDialogs.last(), QStringLiteral("NotOverwrite"));
        QCOMPARE(form.errorLog()->lines(), QStringList{chart + " OverWrite Error"});
        QCOMPARE(form.workspace().pages().count(), 2);
        prompts.questionAnswers.enqueue(QMessageBox::Yes); // unsaved log at exit
        QVERIFY(form.close());
    }
};

QTEST_MAIN(SaveTest)
#include "save_test.moc"
