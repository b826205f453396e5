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

/// The centre of each page's thumbnail on \p screen, by page colour; a null point for a page
/// not shown.
QList<QPoint> thumbnailCentres(const QImage& screen) {
    QList<QRect> boxes(pageColours.size());
    QList<int> counts(pageColours.size(), 0);
    for (int y = 0; y < screen.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            const QRgb pixel = line[x];
            for (int i = 0; i < pageColours.size(); ++i) {
                const QColor& c = pageColours.at(i);
                if (std::abs(qRed(pixel) - c.red()) + std::abs(qGreen(pixel) - c.green()) +
                        std::abs(qBlue(pixel) - c.blue()) <
                    40) {
                    boxes[i] |= QRect(x, y, 1, 1);
                    ++counts[i];
                }
            }
        }
    }
    QList<QPoint> centres;
    for (int i = 0; i < pageColours.size(); ++i) {
        // A thumbnail is a solid block; a few stray pixels of the colour are not one.
        centres << (counts.at(i) > 400 ? boxes.at(i).center() : QPoint());
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
    QString journalFile() const { return workjournal::journalPath(path("state"), scanner()); }
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
        settings.FolderClear = false; // the same pages serve both charts
        RegistryFile registry;
        settings.SaveToRegistry(registry);
        QDir().mkpath(path("config/Tovani"));
        QVERIFY(registry.save(path("config/Tovani/registry.reg")));
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
        QVERIFY2(waitFor([this] { return visibleWindows() > 0; }), "the main window never showed");
    }
    int visibleWindows() {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_display);
        tool.setProcessEnvironment(env);
        tool.start("xdotool", {"search", "--onlyvisible", "--pid",
                               QString::number(m_program->processId()), "--name", "."});
        tool.waitForFinished(WaitMs);
        return int(QString::fromLatin1(tool.readAllStandardOutput())
                       .split('\n', Qt::SkipEmptyParts)
                       .size());
    }
    void kill() {
        ::kill(pid_t(m_program->processId()), SIGKILL);
        QVERIFY(m_program->waitForFinished(WaitMs));
        QCOMPARE(m_program->exitStatus(), QProcess::CrashExit);
    }
    /// Starts the program after a kill and answers its question with the default button.
    void restart() {
        startProgram();
        QVERIFY2(waitFor([this] { return visibleWindows() >= 2; }),
                 "no question about the work left");
        keys({"Return"});
        QVERIFY(waitFor([this] { return visibleWindows() == 1; }));
    }

    QList<QPoint> thumbnails() {
        QList<QPoint> centres;
        waitFor([&] {
            centres = thumbnailCentres(screenImage(path("fb/Xvfb_screen0")));
            return !centres.contains(QPoint());
        });
        return centres;
    }
    /// Drags page \p from (1-based, by colour) onto page \p onto with the mouse.
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
        m_xserver.start("Xvfb", {m_display, "-screen", "0", "1024x768x24", "-fbdir", path("fb"),
                                 "-nolisten", "tcp"});
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
        // TODO
    }
};

QTEST_GUILESS_MAIN(RecoveryTest)
#include "recovery_test.moc"
