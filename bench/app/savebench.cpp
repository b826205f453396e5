// SPDX-License-Identifier: GPL-3.0-or-later
// save-bench CORPUS [crop|stretch] [PAGES]: writes one chart of PAGES colour scans (50 by
// default) with the default settings (700 x 1000 points, quality 80) cropped or stretched, as
// the save button does, and prints the time per page and the peak memory of the process. It runs
// the whole pipeline on a scanner folder of hard links to the corpus, with clearing on: the
// checks before the PDF (numbers, settings, patient-folder lock, leftover temporary charts) and
// the steps after it (clearing the archived pages, the log line, the index row) are timed apart
// from the writing. Without a mode it runs itself once per mode, so each peak is measured on
// its own.
//
//   build/bench/save-bench /tmp/perfcorpus

#include "app/chartsaver.h"
#include "app/creationlog.h"
#include "benchcorpus.h"
#include "index/chartindex.h"
#include "index/chartindexschema.h"
#include "platform/sha256.h"
#include "settings/tregistory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <sys/resource.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc < 2) {
        out << "usage: save-bench CORPUS [crop|stretch] [PAGES]\n";
        return 64;
    }
    const QString corpus = QString::fromLocal8Bit(argv[1]);
    if (argc < 3) {
        for (const char* mode : {"crop", "stretch"}) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(),
                        {corpus, QString::fromLatin1(mode)});
            child.waitForFinished(-1);
        }
        return 0;
    }
    const bool stretch = QString::fromLocal8Bit(argv[2]) == QLatin1String("stretch");
    const int pages = argc > 3 ? QString::fromLocal8Bit(argv[3]).toInt() : 50;
    const QStringList scans = benchcorpus::scans(corpus);
    if (scans.isEmpty()) {
        out << "no scans in " << corpus << "/jpg (build them with make_corpus.sh)\n";
        return 1;
    }

    QTemporaryDir dir;
    TRegistory settings;
    settings.ScannerDir = dir.filePath(QStringLiteral("scanner"));
    settings.Target = dir.filePath(QStringLiteral("archive"));
    settings.FolderClear = true;
    settings.FirstPage = true;
    settings.Stretch = stretch;
    QString error;
    if (!benchcorpus::fill(settings.ScannerDir, scans, pages) ||
        !chartindex::createEmptyIndex(dir.filePath(chartindex::fileName), &error)) {
        out << "cannot prepare the scanner folder or the index " << error << '\n';
        return 1;
    }
    ChartIndex index;
    if (!index.open(dir.path())) {
        out << index.lastError() << '\n';
        return 1;
    }

    /// Messages are dropped; the deletions happen for real.
    class QuietFrontEnd final : public SaveFrontEnd {
    public:
        void showStatus(const QString&) override {}
        void showOverwriteRefused(const QString&) override {}
        void showCannotCreate(const QString&) override {}
        void addErrorLogLine(const QString&) override {}
        void showWaiting(const QString&) override {}
        scannerfolder::AfterFailure cannotDelete(const QString&) override {
            return scannerfolder::AfterFailure::Next;
        }
        void showClearingRefused(const QString&) override {}
        void keepOnlyPages(const QStringList&) override {}
        void showPagesLeftOut(const QStringList&, const QString&) override {}
        bool confirmPartialPages(const QStringList&) override { return true; } // crop is measured
    } frontEnd;

    ChartSaver::Input input;
    input.patientText = QStringLiteral("1234567");
    input.serialText = QStringLiteral("0");
    int n = 0;
    for (const auto& file : QDir(settings.ScannerDir).entryList(QDir::Files, QDir::Name)) {
        input.pages.push_back(SavePage{QDir(settings.ScannerDir).filePath(file), std::nullopt,
                                       QStringLiteral("page %1").arg(++n)});
    }

    const ChartSaver saver(settings, &QDateTime::currentDateTime);
    QElapsedTimer clock;
    clock.start();
    const ChartSaver::Checked checked = saver.check(input, frontEnd);
    const qint64 checking = clock.nsecsElapsed();
    if (checked.outcome != SaveOutcome::Saved) {
        out << "the checks refused the chart: " << int(checked.outcome) << '\n';
        return 1;
    }
    const ChartSaver::Plan& plan = checked.plan;
    clock.restart();
    const ChartSaver::Written written = ChartSaver::write(plan, {});
    const qint64 elapsed = clock.elapsed();
    if (written.outcome != SaveOutcome::Saved) {
        out << "the chart was not written: " << written.error << '\n';
        return 1;
    }
    CreationLog log;
    clock.restart();
    const SaveOutcome finished = saver.finish(plan, written, frontEnd, log, index);
    const qint64 finishing = clock.nsecsElapsed();
    if (finished != SaveOutcome::Saved || !QDir(settings.ScannerDir).isEmpty()) {
        out << "the steps after the chart failed: " << int(finished) << '\n';
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    out << QStringLiteral(
               "%1: %2 pages in %3 ms, %4 ms a page, %5 MB file, peak memory %6 MB, %7 threads\n")
               .arg(stretch ? QStringLiteral("stretch") : QStringLiteral("crop   "))
               .arg(written.pagesWritten)
               .arg(elapsed)
               .arg(double(elapsed) / pages, 0, 'f', 1)
               .arg(QFileInfo(plan.chartPath).size() / 1e6, 0, 'f', 1)
               .arg(usage.ru_maxrss / 1024.0, 0, 'f', 1)
               .arg(QThread::idealThreadCount());
    out << QStringLiteral(
               "         checks before %1 ms, after %2 ms (clearing %3 pages, log, row)\n")
               .arg(checking / 1e6, 0, 'f', 2)
               .arg(finishing / 1e6, 0, 'f', 2)
               .arg(written.archived.size());
    // The save hashes the chart's bytes as they go out; hashing them again from the page cache
    // costs the same and shows that share of the save.
    clock.restart();
    const std::optional<QByteArray> again = Sha256::ofFile(plan.chartPath, &error);
    const qint64 hashing = clock.nsecsElapsed();
    out << QStringLiteral("         SHA-256 of the chart: %1 ms, %2 % of the write (%3)\n")
               .arg(hashing / 1e6, 0, 'f', 1)
               .arg(100.0 * double(hashing) / 1e6 / double(std::max<qint64>(elapsed, 1)), 0, 'f', 2)
               .arg(again && *again == written.sha256 ? QStringLiteral("the stored hash matches")
                                                      : QStringLiteral("MISMATCH ") + error);
    return 0;
}
