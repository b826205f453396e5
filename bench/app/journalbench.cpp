// SPDX-License-Identifier: GPL-3.0-or-later
// journal-bench [PAGES] [CHANGES]: the work journal of a main window holding PAGES pages (300 by
// default), each with a caption and a two-line note. CHANGES changes (200 by default: moves,
// captions, notes, a typed patient number) are made one at a time, each followed by the window's
// event loop until it is idle again, which is when the window thread copies the page list for
// the journal. Prints the longest and the mean CPU time the window thread spent per change (and
// the longest by the wall clock, which on a loaded machine mostly counts the other programs),
// with and without the journal, the size of the journal, and how many writes the changes gave.
//
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/journal-bench

#include "app/journalsession.h"
#include "app/pageworkspace.h"
#include "app/tmainform.h"
#include "index/chartindexschema.h"
#include "platform/registryfile.h"
#include "platform/urlopener.h"
#include "platform/userprompts.h"
#include "settings/tregistory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <ctime>

namespace {

class SilentPrompts final : public UserPrompts {
public:
    int exec(QDialog&) override { return 0; }
    QMessageBox::StandardButton question(QWidget*, const QString&, const QString&,
                                         QMessageBox::StandardButtons) override {
        return QMessageBox::Yes;
    }
    void showError(QWidget*, const QString& text) override { qWarning("%s", qPrintable(text)); }
    FileChoice openFiles(QWidget*, const QString&, const QString&, bool) override { return {}; }
    FileChoice saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

class NoOpener final : public UrlOpener {
public:
    bool open(const QUrl&) override { return true; }
};

/// CPU time of the calling thread: on a loaded machine the wall clock mostly measures the other
/// programs.
qint64 threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

struct Figures {
    qint64 longestNs = 0; ///< window thread's CPU time
    qint64 totalNs = 0;
    qint64 longestWallNs = 0;
    qint64 journalBytes = 0;
    int writes = 0;
};

/// Runs the changes in a window over \p folder; with \p stateFolder empty the window keeps no
/// journal.
Figures run(const QString& folder, const QString& stateFolder, int changes) {
    SilentPrompts prompts;
    NoOpener opener;
    AppServices services;
    services.programFolder = folder;
    services.settingsPath = QDir(folder).filePath("registry.reg");
    services.prompts = &prompts;
    services.urlOpener = &opener;
    services.stateFolder = stateFolder;
    TMainForm form(services);
    form.createWindows();
    form.show();
    QCoreApplication::processEvents();
    form.command(TMainForm::Command::ScannerIntake)->trigger();
    form.workspace().waitForThumbnails();
    QCoreApplication::processEvents();
    PageWorkspace& workspace = form.workspace();
    const int pages = workspace.pages().count();
    for (int i = 0; i < pages; ++i) {
        workspace.setPageTexts(i, QStringLiteral("紹介状%1").arg(i),
                               QStringList{QStringLiteral("再診時に確認すること"),
                                           QStringLiteral("検査結果は別紙 %1").arg(i)});
    }
    QCoreApplication::processEvents();
    if (form.journal()) {
        form.journal()->writer().flush();
    }
    const int writesBefore = form.journal() ? form.journal()->writer().writes() : 0;

    Figures figures;
    QElapsedTimer clock;
    for (int change = 0; change < changes; ++change) {
        clock.start();
        const qint64 cpuStart = threadCpuNs();
        switch (change % 4) {
        case 0:
            workspace.setSelectedIndex((change * 7) % pages);
            workspace.moveSelected(change % 8 == 0 ? 1 : -1);
            break;
        case 1:
            workspace.setPageTexts((change * 13) % pages, QStringLiteral("検査%1").arg(change),
                                   workspace.pages().at((change * 13) % pages).Note);
            break;
        case 2:
            workspace.setPageTexts((change * 5) % pages,
                                   workspace.pages().at((change * 5) % pages).Shiori,
                                   QStringList{QStringLiteral("注釈 %1").arg(change)});
            break;
        default:
            form.idEdit()->setText(QString::number(10000 + change));
            break;
        }
        QCoreApplication::processEvents(); // the journal's copy is taken here
        const qint64 elapsed = threadCpuNs() - cpuStart;
        figures.longestNs = std::max(figures.longestNs, elapsed);
        figures.totalNs += elapsed;
        figures.longestWallNs = std::max(figures.longestWallNs, clock.nsecsElapsed());
    }
    if (form.journal()) {
        form.journal()->writer().flush();
        figures.writes = form.journal()->writer().writes() - writesBefore;
        figures.journalBytes = QFileInfo(form.journal()->path()).size();
    }
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const int pages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 300;
    const int changes = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 200;
    QTemporaryDir dir;
    QString error;
    const QString scanner = dir.filePath("scanner");
    QDir().mkpath(scanner);
    if (!chartindex::createEmptyIndex(dir.filePath(chartindex::fileName), &error)) {
        out << "cannot create the chart index: " << error << '\n';
        return 1;
    }
    QImage page(40, 56, QImage::Format_RGB32);
    page.fill(Qt::gray);
    for (int i = 0; i < pages; ++i) {
        // Names as a scanner driver gives them, long enough to weigh in the journal's size.
        page.save(
            QStringLiteral("%1/scan_20240611_%2.png").arg(scanner).arg(i + 1, 4, 10, QChar('0')));
    }
    TRegistory settings;
    settings.ScannerDir = scanner;
    RegistryFile registry;
    settings.SaveToRegistry(registry);
    registry.save(dir.filePath("registry.reg"));

    const Figures without = run(dir.path(), QString(), changes);
    const Figures with = run(dir.path(), dir.filePath("state"), changes);
    auto ms = [](qint64 ns) { return QString::number(double(ns) / 1e6, 'f', 2); };
    out << QStringLiteral("%1 pages, %2 changes; window thread's CPU time per change: longest %3 "
                          "ms, mean %4 ms with the journal (longest %5 ms, mean %6 ms without); "
                          "longest by the wall clock %7 ms with, %8 ms without\n")
               .arg(pages)
               .arg(changes)
               .arg(ms(with.longestNs), ms(with.totalNs / changes), ms(without.longestNs),
                    ms(without.totalNs / changes), ms(with.longestWallNs),
                    ms(without.longestWallNs));
    out << QStringLiteral("journal %1 bytes (%2 bytes a page), %3 writes for the %4 changes\n")
               .arg(with.journalBytes)
               .arg(with.journalBytes / std::max(1, pages))
               .arg(with.writes)
               .arg(changes);
    return 0;
}
