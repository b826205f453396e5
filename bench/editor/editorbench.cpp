// SPDX-License-Identifier: GPL-3.0-or-later
// editor-bench [CORPUS]: times the page editor on the first colour scan of the corpus that
// make_corpus.sh builds (default /tmp/perfcorpus), on a copy of it, and prints the figures.

#include "editor/editorgeometry.h"
#include "editor/pageview.h"
#include "editor/timageshow.h"
#include "editor/timageunit.h"
#include "platform/userprompts.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

/// Answers every question at once; the bench opens no dialog.
class NoPrompts final : public UserPrompts {
public:
    int exec(QDialog&) override { return 0; }
    QMessageBox::StandardButton question(QWidget*, const QString&, const QString&,
                                         QMessageBox::StandardButtons) override {
        return QMessageBox::No;
    }
    void showError(QWidget*, const QString&) override {}
    FileChoice openFiles(QWidget*, const QString&, const QString&, bool) override { return {}; }
    FileChoice saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

double ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void report(const char* what, std::vector<double> times, double goal) {
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double worst = times.back();
    std::printf("%-34s median %7.2f ms  worst %7.2f ms  (goal <= %.0f ms, %zu runs)\n", what,
                median, worst, goal, times.size());
}

/// Lets the window paint what is pending, as the event loop does between input events.
void paintPending() {
    QCoreApplication::processEvents();
}

void send(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
          Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

/// Notes that the display painted.
class PaintWatch final : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        painted = painted || event->type() == QEvent::Paint;
        return false;
    }
};

/// Frames of one pen stroke across the visible part of the page: from each input event until
/// the display has painted what it changed, the wait for the window's next update included.
std::vector<double> strokeFrames(TImageShow& editor) {
    PageView* view = editor.pageView();
    PaintWatch watch;
    view->installEventFilter(&watch);
    std::vector<double> frames;
    QPoint pos(40, 40);
    QElapsedTimer press;
    press.start();
    send(view, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
    paintPending();
    std::printf("%-34s %7.2f ms (keeps the page for undo)\n", "  mouse-down before the stroke",
                ms(press));
    for (int i = 0; i < 300; ++i) {
        pos += QPoint(2, (i / 30) % 2 == 0 ? 1 : -1);
        watch.painted = false;
        QElapsedTimer timer;
        timer.start();
        send(view, QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton);
        while (!watch.painted && timer.elapsed() < 200) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        frames.push_back(ms(timer));
        if (!watch.painted) {
            std::fprintf(stderr, "a stroke step was never painted\n");
        }
    }
    view->removeEventFilter(&watch);
    send(view, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
    paintPending();
    return frames;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QString corpus = argc > 1 ? QString::fromLocal8Bit(argv[1]) : "/tmp/perfcorpus";
    const QString scan = corpus + "/jpg/page-001.jpg";
    if (!QFile::exists(scan)) {
        std::fprintf(stderr, "no scan at %s; build the corpus with make_corpus.sh\n",
                     qPrintable(scan));
        return 2;
    }
    QTemporaryDir dir;
    const QString page = dir.filePath("page.jpg");
    QFile::copy(scan, page);

    NoPrompts prompts;
    TImageShow editor(prompts);
    editor.setPagePath(page);
    std::printf("page %s\n", qPrintable(scan));

    std::vector<double> opening;
    for (int run = 0; run < 7; ++run) {
        editor.hide();
        paintPending();
        QElapsedTimer timer;
        timer.start();
        editor.setZoomIndex(editorgeometry::DefaultZoomIndex);
        editor.preparePage();
        editor.show();
        paintPending();
        editor.repaint(); // the page is on screen once this returns
        opening.push_back(ms(timer));
    }
    std::printf("bitmap %d x %d\n", editor.engine().bitmap().width(),
                editor.engine().bitmap().height());
    report("open until the page shows", opening, 150);

    QAction* turn = editor.findChild<QAction*>("RotRieghtBtn");
    std::vector<double> turns;
    for (int run = 0; run < 8; ++run) {
        QElapsedTimer timer;
        timer.start();
        turn->trigger();
        paintPending();
        turns.push_back(ms(timer));
    }
    report("rotate right 90 (with redisplay)", turns, 40);
    TImageUnit unit;
    std::vector<double> unitTurns;
    for (int run = 0; run < 8; ++run) {
        const QImage& bitmap = editor.engine().bitmap();
        QElapsedTimer timer;
        timer.start();
        const QImage turned = unit.RotateRight(bitmap);
        unitTurns.push_back(ms(timer));
    }
    report("  a turn alone, into new memory", unitTurns, 40);

    for (const int zoom : {5, 7}) {
        editor.setZoomIndex(zoom);
        editor.preparePage();
        paintPending();
        editor.repaint();
        const std::vector<double> frames = strokeFrames(editor);
        const QByteArray label =
            "pen stroke frame at zoom " + editorgeometry::zoomText(zoom).toLatin1();
        report(label.constData(), frames, 16);
    }

    std::vector<double> saves;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        editor.savePage();
        saves.push_back(ms(timer));
        if (!editor.saved()) {
            std::fprintf(stderr, "save failed: %s\n", qPrintable(editor.statusText(2)));
            return 1;
        }
    }
    report("save the page as JPEG", saves, 120);
    return 0;
}
