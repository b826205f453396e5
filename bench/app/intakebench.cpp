// SPDX-License-Identifier: GPL-3.0-or-later
// intake-bench CORPUS [PAGES] [--no-blank-check]: scanner intake of PAGES colour scans (100 by
// default) in the main window, until the last thumbnail is shown. Prints the time, the time per
// page, and the longest the window went without answering (the largest gap between ticks of a
// 5 ms timer). The blank-page check runs with the thumbnails unless --no-blank-check turns it
// off in the settings.
//
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/intake-bench /tmp/perfcorpus

#include "app/pageworkspace.h"
#include "app/tmainform.h"
#include "benchcorpus.h"
#include "index/chartindexschema.h"
#include "platform/registryfile.h"
#include "platform/urlopener.h"
#include "platform/userprompts.h"
#include "settings/blankpagesettings.h"
#include "settings/tregistory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

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

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc < 2) {
        out << "usage: intake-bench CORPUS [PAGES]\n";
        return 64;
    }
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool blankCheck = !arguments.removeAll(QStringLiteral("--no-blank-check"));
    const int pages = arguments.size() > 1 ? arguments.at(1).toInt() : 100;
    const QStringList scans = benchcorpus::scans(arguments.value(0));
    if (scans.isEmpty()) {
        out << "no scans in " << argv[1] << "/jpg (build them with make_corpus.sh)\n";
        return 1;
    }
    QTemporaryDir dir;
    QString error;
    if (!chartindex::createEmptyIndex(dir.filePath(chartindex::fileName), &error) ||
        !benchcorpus::fill(dir.filePath("scanner"), scans, pages)) {
        out << "cannot prepare the folders: " << error << '\n';
        return 1;
    }

    SilentPrompts prompts;
    NoOpener opener;
    AppServices services;
    services.programFolder = dir.path();
    services.settingsPath = dir.filePath("registry.reg");
    if (!blankCheck) {
        BlankPageSettings off;
        off.Enabled = false;
        RegistryFile registry;
        off.SaveToRegistry(registry);
        registry.save(services.settingsPath);
    }
    services.prompts = &prompts;
    services.urlOpener = &opener;
    TMainForm form(services);
    form.createWindows();
    form.show();
    QCoreApplication::processEvents();
    form.settings().ScannerDir = dir.filePath("scanner");

    for (const int imSize : {0, 2}) {
        form.settings().ImSize = imSize;
        QElapsedTimer clock;
        qint64 lastTick = 0;
        qint64 longestGap = 0;
        int ticks = 0;
        qint64 firstThumbnail = -1;
        QObject::connect(&form.workspace(), &PageWorkspace::thumbnailProgress, &form,
                         [&](int done, int) {
                             if (done == 1 && firstThumbnail < 0) {
                                 firstThumbnail = clock.elapsed();
                             }
                         });
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longestGap = std::max(longestGap, now - lastTick);
            ++ticks;
            lastTick = now;
        });
        clock.start();
        ticker.start();
        form.command(TMainForm::Command::ScannerIntake)->trigger();
        const qint64 started = clock.elapsed();
        // The window's own event loop runs until the last thumbnail is in.
        QEventLoop loop;
        QObject::connect(&form.workspace(), &PageWorkspace::busyChanged, &loop, [&](bool busy) {
            if (!busy) {
                loop.quit();
            }
        });
        if (form.workspace().isBusy()) {
            loop.exec();
        }
        const qint64 total = clock.elapsed();
        ticker.stop();
        out << QStringLiteral(
                   "intake of %1 pages, thumbnails %2 px, blank-page check %9: %3 ms, %4 ms a "
                   "page (command returned after %5 ms, first thumbnail shown after %6 ms); "
                   "window unanswered at most %7 ms (%8 timer ticks)\n")
                   .arg(form.workspace().pages().count())
                   .arg(form.workspace().thumbnailSide())
                   .arg(total)
                   .arg(double(total) / pages, 0, 'f', 1)
                   .arg(started)
                   .arg(firstThumbnail)
                   .arg(longestGap)
                   .arg(ticks)
                   .arg(blankCheck ? QStringLiteral("on") : QStringLiteral("off"));
        out.flush();
    }
    return 0;
}
