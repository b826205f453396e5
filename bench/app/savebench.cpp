// save-bench CORPUS [crop|stretch] [PAGES]: writes one chart of PAGES colour scans (50 by
// default) with the default settings (700 x 1000 points, quality 80) cropped or stretched, as
// the save button does, and prints the time per page and the peak memory of the process.
// Without a mode it runs itself once per mode, so each peak is measured on its own.
//
//   build/bench/save-bench /tmp/perfcorpus

#include "app/chartsaver.h"
#include "benchcorpus.h"

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
    ChartSaver::Plan plan;
    plan.folder = dir.path();
    plan.fileName = QStringLiteral("HP_1_0.pdf");
    plan.chartPath = dir.filePath(plan.fileName);
    plan.stretch = stretch;
    for (int i = 0; i < pages; ++i) {
        plan.pages.push_back(SavePage{scans.at(i % scans.size()), std::nullopt,
                                      QStringLiteral("page %1").arg(i + 1)});
    }

    QElapsedTimer clock;
    clock.start();
    const ChartSaver::Written written = ChartSaver::write(plan, {});
    const qint64 elapsed = clock.elapsed();
    if (written.outcome != SaveOutcome::Saved) {
        out << "the chart was not written: " << written.error << '\n';
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
    return 0;
}
