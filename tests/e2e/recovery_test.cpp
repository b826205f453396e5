// SPDX-License-Identifier: GPL-3.0-or-later
// The real program on a virtual X server, driven by real keys and mouse drags from outside,
// killed with SIGKILL at several moments (one of them in the middle of a journal write) and
// started again: the chart it then saves holds the same pages in the same order, with the same
// outline entries and notes, as the chart of the same work done without a kill.
//
// The program is watched through its work journal (read with the program's own reader), so every
// step waits for the program's state rather than for a time; where the mouse goes is found on
// the virtual screen's frame buffer by the colours of the thumbnails.

#include "app/workjournal.h"
#include "index/chartindexschema.h"
#include "platform/registryfile.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <csignal>
#include <functional>

/// Runs one step of the scenario; a step that failed ends the test there.
#define STEP(call)                                                                                 \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed()) {                                                          \
            return;                                                                                \
        }                                                                                          \
    } while (false)

namespace {

constexpr int WaitMs = 15000;

/// The colours of the four pages, one each, so that their thumbnails can be told apart.
const QList<QColor> pageColours{QColor(220, 30, 30), QColor(30, 190, 40), QColor(40, 50, 220),
                                QColor(230, 200, 20)};

quint32 bigEndian(const QByteArray& bytes, int offset) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + offset;
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

/// The virtual screen as the X server keeps it in its frame buffer file (XWD format).
QImage screenImage(const QString& frameBuffer) {
    QFile file(frameBuffer);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 100) {
        return {};
    }
    const quint32 headerSize = bigEndian(bytes, 0);
    const int width = int(bigEndian(bytes, 16));
    const int height = int(bigEndian(bytes, 20));
    const quint32 bitsPerPixel = bigEndian(bytes, 44);
    const quint32 bytesPerLine = bigEndian(bytes, 48);
    const quint32 colours = bigEndian(bytes, 76);
    const qsizetype start = qsizetype(headerSize) + qsizetype(colours) * 12;
    if (bitsPerPixel != 32 || bytes.size() < start + qsizetype(bytesPerLine) * height) {
        return {};
    }
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        memcpy(image.scanLine(y), bytes.constData() + start + qsizetype(y) * bytesPerLine,
               size_t(width) * 4);
    }
    return image;
}

/// Where each page's thumbnail is on \p screen, by page colour; a null point for a page not
/// shown. Each pixel counts for the page colour nearest to it, near enough (the thumbnail of the
/// selected page is tinted with the selection's colour), and the point is the median of a
/// colour's pixels, so that a few of them elsewhere (an icon) do not move it off the thumbnail.
QList<QPoint> thumbnailCentres(const QImage& screen) {
    QList<QList<int>> xs(pageColours.size());
    QList<QList<int>> ys(pageColours.size());
    for (int y = 0; y < screen.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            const QRgb pixel = line[x];
            int nearest = -1;
            int nearestDistance = 150;
            for (int i = 0; i < pageColours.size(); ++i) {
                const QColor& c = pageColours.at(i);
                const int distance = std::abs(qRed(pixel) - c.red()) +
                                     std::abs(qGreen(pixel) - c.green()) +
                                     std::abs(qBlue(pixel) - c.blue());
                if (distance < nearestDistance) {
                    nearest = i;
                    nearestDistance = distance;
                }
            }
            if (nearest >= 0) {
                xs[nearest] << x;
                ys[nearest] << y;
            }
        }
    }
    QList<QPoint> centres;
    for (int i = 0; i < pageColours.size(); ++i) {
        // A thumbnail is a solid block; a few pixels of the colour are not one.
        if (xs.at(i).size() < 1000) {
            centres << QPoint();
            continue;
        }
        std::sort(xs[i].begin(), xs[i].end());
        std::sort(ys[i].begin(), ys[i].end());
        centres << QPoint(xs.at(i).at(xs.at(i).size() / 2), ys.at(i).at(ys.at(i).size() / 2));
    }
    return centres;
}

/// What a chart PDF shows of the work: its pages (by their image bytes), its outline titles and
/// its notes, each in file order.
struct ChartContents {
    QList<QByteArray> pageImages;
    QStringList titles;
    QStringList notes;
    bool operator==(const ChartContents&) const = default;
};

ChartContents chartContents(const QString& path) {
    QFile file(path);
    ChartContents contents;
    if (!file.open(QIODevice::ReadOnly)) {
        return contents;
    }
    const QByteArray pdf = file.readAll();
    // Image streams in file order: the composer writes each page's image with its page.
    qsizetype at = 0;
    while ((at = pdf.indexOf("/Subtype /Image", at)) >= 0) {
        const qsizetype stream = pdf.indexOf("stream\r\n", at);
        const qsizetype end = pdf.indexOf("endstream", stream);
        contents.pageImages << QCryptographicHash::hash(pdf.mid(stream, end - stream),
                                                        QCryptographicHash::Sha256);
        at = end;
    }
    static const QRegularExpression title(QStringLiteral("/Title \\(([^)]*)\\)"));
    for (const auto& match : title.globalMatch(QString::fromLatin1(pdf))) {
        contents.titles << match.captured(1);
    }
    static const QRegularExpression note(QStringLiteral("/Contents \\(([^)]*)\\)"));
    for (const auto& match : note.globalMatch(QString::fromLatin1(pdf))) {
        contents.notes << match.captured(1);
    }
    return contents;
}

} // namespace

class RecoveryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_xserver;
    QString m_display;
    std::unique_ptr<QProcess> m_program;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString scanner() const { return path("scanner"); }
    QString journalFile() const {
        return workjournal::journalPath(path("state/pelorafile"), scanner());
    }
    QString pauseTrigger() const { return path("pause"); }

    static bool waitFor(const std::function<bool()>& condition, int ms = WaitMs) {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > ms) {
                return false;
            }
            QThread::msleep(30);
        }
        return true;
    }

    bool xdotool(const QStringList& arguments) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_display);
        tool.setProcessEnvironment(env);
        tool.start("xdotool", arguments);
        return tool.waitForFinished(WaitMs) && tool.exitCode() == 0;
    }
    void keys(const QStringList& names) {
        for (const QString& name : names) {
            QVERIFY(xdotool({"key", "--delay", "30", name}));
        }
    }
    void type(const QString& text) { QVERIFY(xdotool({"type", "--delay", "30", text})); }

    std::optional<workjournal::Work> journal() const {
        return workjournal::read(journalFile()).work;
    }
    /// Waits until the program's journal satisfies \p condition.
    void waitForJournal(const std::function<bool(const workjournal::Work&)>& condition,
                        const char* what) {
        QVERIFY2(waitFor([&] {
                     const auto work = journal();
                     return work && condition(*work);
                 }),
                 what);
    }
    static QStringList order(const workjournal::Work& work) {
        QStringList names;
        for (const auto& page : work.pages) {
            names << QFileInfo(page.imageFile).fileName();
        }
        return names;
    }

    void writeSettings() {
        TRegistory settings;
        settings.ScannerDir = scanner();
        settings.Target = path("archive");
        settings.HPCode = "77";
        settings.WriteDate = false;
        settings.FirstPage = true;
        settings.FolderClear = false; // the same pages serve both charts
        RegistryFile registry;
        settings.SaveToRegistry(registry);
        QDir().mkpath(path("config/Tovani"));
        QVERIFY(registry.save(path("config/Tovani/registry.reg")));
    }

    /// The program's visible windows, the main window first.
    QStringList windows() {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_display);
        tool.setProcessEnvironment(env);
        tool.start("xdotool", {"search", "--onlyvisible", "--pid",
                               QString::number(m_program->processId()), "--name", "."});
        tool.waitForFinished(WaitMs);
        QStringList ids =
            QString::fromLatin1(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        std::sort(ids.begin(), ids.end(), [](const QString& a, const QString& b) {
            return a.toULongLong() < b.toULongLong(); // X gives out ids in order of creation
        });
        return ids;
    }
    QRect geometry(const QString& window) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_display);
        tool.setProcessEnvironment(env);
        tool.start("xdotool", {"getwindowgeometry", "--shell", window});
        tool.waitForFinished(WaitMs);
        QMap<QString, int> values;
        for (const QString& line : QString::fromLatin1(tool.readAllStandardOutput()).split('\n')) {
            const auto pair = line.split('=');
            if (pair.size() == 2) {
                values[pair.at(0)] = pair.at(1).toInt();
            }
        }
        return QRect(values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]);
    }
    /// Gives the keyboard to the \p index-th window (no window manager does it here).
    void focus(int index) {
        const QStringList ids = windows();
        QVERIFY(ids.size() > index);
        QVERIFY(xdotool({"windowfocus", "--sync", ids.at(index)}));
    }

    void startProgram() {
        m_program = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_STATE_HOME", path("state"));
        env.insert("HOME", path("home"));
        env.insert("PELORAFILE_TEST_JOURNAL_PAUSE", pauseTrigger());
        m_program->setProcessEnvironment(env);
        m_program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_program->start(QStringLiteral(PELORA_BIN_DIR "/pelorafile"),
                         {"--program-folder", path("program")});
        QVERIFY(m_program->waitForStarted(WaitMs));
        // The first start on a loaded machine builds the font cache: give it time.
        QVERIFY2(waitFor([this] { return !windows().isEmpty(); }, 4 * WaitMs),
                 "the main window never showed");
    }
    void kill() {
        ::kill(pid_t(m_program->processId()), SIGKILL);
        QVERIFY(m_program->waitForFinished(WaitMs));
        QCOMPARE(m_program->exitStatus(), QProcess::CrashExit);
    }
    /// Starts the program after a kill and answers its question with the default button.
    void restartAndRestore() {
        startProgram();
        QVERIFY2(waitFor([this] { return windows().size() == 2; }),
                 "no question about the work left");
        focus(1);
        keys({"Return"});
        QVERIFY(waitFor([this] { return windows().size() == 1; }));
    }

    QList<QPoint> thumbnails() {
        QList<QPoint> centres;
        waitFor([&] {
            centres = thumbnailCentres(screenImage(path("fb/Xvfb_screen0")));
            return !centres.contains(QPoint());
        });
        return centres;
    }
    void click(const QPoint& at) {
        QVERIFY(
            xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"}));
    }
    /// Clicks the thumbnail of page \p page (by its colour, 1-based).
    void clickPage(int page) {
        const QList<QPoint> centres = thumbnails();
        QVERIFY2(!centres.contains(QPoint()), "the thumbnails are not all shown");
        click(centres.at(page - 1));
    }
    /// Drags page \p from onto page \p onto with the mouse.
    void drag(int from, int onto) {
        const QList<QPoint> centres = thumbnails();
        QVERIFY2(!centres.contains(QPoint()), "the thumbnails are not all shown");
        const QPoint a = centres.at(from - 1);
        const QPoint b = centres.at(onto - 1);
        QVERIFY(xdotool({"mousemove", QString::number(a.x()), QString::number(a.y())}));
        QVERIFY(xdotool({"mousedown", "1"}));
        for (int step = 1; step <= 6; ++step) {
            const QPoint p = a + (b - a) * step / 6;
            QVERIFY(xdotool({"mousemove", QString::number(p.x()), QString::number(p.y() + 1)}));
            QThread::msleep(60);
        }
        QVERIFY(xdotool({"mousemove", QString::number(b.x()), QString::number(b.y())}));
        QThread::msleep(100);
        QVERIFY(xdotool({"mouseup", "1"}));
    }

    // The operator's steps, each waiting for the journal to show it.
    void takeInAndTypeNumbers(const QString& serial) {
        STEP(focus(0));
        STEP(
            keys({"alt+f", "Down", "Return"})); // ファイル → スキャナフォルダーからの追加画像取込み
        waitForJournal([](const workjournal::Work& w) { return w.pages.size() == 4; },
                       "the intake is not in the journal");
        // The patient number box has the keyboard from the start; Tab goes on to the serial.
        STEP(type("4711"));
        STEP(keys({"Tab", "ctrl+a"}));
        STEP(type(serial));
        waitForJournal(
            [&](const workjournal::Work& w) {
                return w.patientText == "4711" && w.serialText == serial;
            },
            "the typed numbers are not in the journal");
    }
    void reorder() {
        STEP(drag(1, 3)); // 2 1 3 4
        waitForJournal(
            [](const workjournal::Work& w) {
                return order(w) == QStringList{"2.png", "1.png", "3.png", "4.png"};
            },
            "the drag is not in the journal");
        STEP(clickPage(4));
        STEP(keys({"ctrl+Left"})); // 2 1 4 3
        waitForJournal(
            [](const workjournal::Work& w) {
                return order(w) == QStringList{"2.png", "1.png", "4.png", "3.png"};
            },
            "the key move is not in the journal");
    }
    void startCaption() {
        STEP(focus(0));
        STEP(clickPage(2));
        // A click on the page already selected starts editing by itself once the double-click
        // time is over; F2 after that time finds the editor open either way.
        QThread::msleep(700);
        STEP(keys({"F2"}));
        STEP(type("Referral"));
        STEP(keys({"Return"}));
    }
    static bool captioned(const workjournal::Work& w) { return w.pages.at(0).shiori == "Referral"; }
    void writeNote() {
        STEP(focus(0));
        STEP(clickPage(3));
        STEP(keys({"Return"})); // opens the page editor
        QVERIFY2(waitFor([this] { return windows().size() == 2; }), "no page editor");
        STEP(focus(1));
        const QRect editor = geometry(windows().at(1));
        STEP(click(QPoint(editor.center().x(), editor.bottom() - 80))); // the note box, at its foot
        STEP(type("Seen twice"));
        STEP(keys({"Return"}));
        STEP(type("in May"));
        STEP(keys({"Escape"}));
        QVERIFY(waitFor([this] { return windows().size() == 1; }));
        waitForJournal(
            [](const workjournal::Work& w) {
                return w.pages.at(3).note == QStringList{"Seen twice", "in May"};
            },
            "the note is not in the journal");
    }
    /// Saves with Ctrl+S and returns the chart's path.
    QString save(const QString& serial) {
        focus(0);
        keys({"ctrl+s"});
        const QString chart = path("archive/00/00/47/11/HP77_4711_" + serial + ".pdf");
        waitFor([&] { return QFile::exists(chart) && !QFile::exists(journalFile()); });
        return chart;
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
            QStandardPaths::findExecutable("xdotool").isEmpty()) {
            QSKIP("Xvfb and xdotool are needed (scripts/lib/setup.sh installs them)");
        }
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(path("fb"));
        // A display number of this test's own: the first whose lock file is free.
        int display = 70 + int(QCoreApplication::applicationPid() % 100);
        while (QFile::exists(QString("/tmp/.X%1-lock").arg(display))) {
            ++display;
        }
        m_display = QString(":%1").arg(display);
        // -noreset: by default the server resets whenever its last client leaves, and a program
        // connecting during that reset loses its connection (an xdotool poll is often the last
        // client while the program starts). The server's own chatter goes nowhere, so that a
        // full pipe can never stall it.
        m_xserver.setStandardOutputFile(QProcess::nullDevice());
        m_xserver.setStandardErrorFile(QProcess::nullDevice());
        m_xserver.start("Xvfb", {m_display, "-screen", "0", "1024x768x24", "-fbdir", path("fb"),
                                 "-nolisten", "tcp", "-noreset"});
        QVERIFY(m_xserver.waitForStarted(WaitMs));
        QVERIFY2(waitFor([&] {
                     return QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display)) &&
                            QFile::exists(path("fb/Xvfb_screen0"));
                 }),
                 "the virtual X server did not start");
    }
    void cleanupTestCase() {
        if (m_program && m_program->state() != QProcess::NotRunning) {
            m_program->kill();
            m_program->waitForFinished(WaitMs);
        }
        if (m_xserver.state() != QProcess::NotRunning) {
            m_xserver.terminate();
            m_xserver.waitForFinished(WaitMs);
        }
    }

    void killedWorkComesBackWhole() {
        QDir().mkpath(scanner());
        QDir().mkpath(path("archive"));
        QDir().mkpath(path("program"));
        QDir().mkpath(path("home"));
        STEP(writeSettings());
        QString error;
        QVERIFY(chartindex::createEmptyIndex(path("program/") + chartindex::fileName, &error));
        for (int i = 0; i < pageColours.size(); ++i) {
            QImage page(200, 280, QImage::Format_RGB32);
            page.fill(pageColours.at(i));
            QVERIFY(page.save(scanner() + QString("/%1.png").arg(i + 1)));
        }

        // The work without a kill, saved as serial 1, and a clean exit.
        STEP(startProgram());
        STEP(takeInAndTypeNumbers("1"));
        STEP(reorder());
        STEP(startCaption());
        STEP(waitForJournal(captioned, "the caption is not in the journal"));
        STEP(writeNote());
        const QString reference = save("1");
        QVERIFY2(QFile::exists(reference), "the chart without a kill was not saved");
        focus(0);
        STEP(keys({"alt+f", "Up", "Return"})); // ファイル → プログラム終了
        // The creation log line of the save is not written to a file yet: yes, end all the same.
        QVERIFY2(waitFor([this] { return windows().size() == 2; }), "no question at the end");
        STEP(focus(1));
        STEP(keys({"Return"}));
        QVERIFY(m_program->waitForFinished(WaitMs));
        QVERIFY(!QFile::exists(journalFile()));

        // The same work as serial 2, killed after the reordering...
        STEP(startProgram());
        QCOMPARE(windows().size(), 1); // a clean exit leaves nothing to ask about
        STEP(takeInAndTypeNumbers("2"));
        STEP(reorder());
        STEP(kill());
        STEP(restartAndRestore());
        // ...in the middle of the journal write of the caption: the journal before it comes
        // back, and the caption is typed again...
        QFile trigger(pauseTrigger());
        QVERIFY(trigger.open(QIODevice::WriteOnly));
        trigger.close();
        STEP(startCaption());
        QVERIFY2(waitFor([this] { return QFile::exists(pauseTrigger() + ".paused"); }),
                 "the journal write did not reach its pause");
        QVERIFY(QFile::exists(workjournal::temporaryPath(journalFile())));
        STEP(kill());
        const auto before = journal();
        QVERIFY(before && !captioned(*before));
        STEP(restartAndRestore());
        QVERIFY(!QFile::exists(workjournal::temporaryPath(journalFile())));
        STEP(startCaption());
        STEP(waitForJournal(captioned, "the caption is not in the journal"));
        // ...and after the note.
        STEP(writeNote());
        STEP(kill());
        STEP(restartAndRestore());
        const QString recovered = save("2");
        QVERIFY2(QFile::exists(recovered), "the chart after the kills was not saved");

        const ChartContents expected = chartContents(reference);
        const ChartContents actual = chartContents(recovered);
        QCOMPARE(expected.pageImages.size(), 4);
        QVERIFY(expected.titles.contains("Referral"));
        QVERIFY(expected.notes.join('|').contains(
            QRegularExpression(QStringLiteral("Seen twice[^|]{1,8}in May"))));
        QCOMPARE(actual.pageImages, expected.pageImages);
        QCOMPARE(actual.titles, expected.titles);
        QCOMPARE(actual.notes, expected.notes);
        STEP(kill());
    }
};

QTEST_GUILESS_MAIN(RecoveryTest)
#include "recovery_test.moc"
