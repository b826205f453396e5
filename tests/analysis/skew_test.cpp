// SPDX-License-Identifier: GPL-3.0-or-later
// Straightening turned pages in their files: the page is level afterwards by a measure of the
// test's own, keeps its file's kind, and pages the limits exclude, or files that changed
// meanwhile, are left as they are.

#include "analysis/pagefile.h"
#include "analysis/skew.h"
#include "support/scannedpages.h"
#include "support/skewmeasure.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using scannedpages::Kind;

namespace {

QByteArray digest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QImage load(const QString& path, TImageIOParams* params = nullptr) {
    TImageIO io;
    io.LoadImageFile(path);
    if (params) {
        *params = io.Params();
    }
    return io.IoFailed() ? QImage() : io.bitmap();
}

/// Only the page and nothing else in the folder: no temporary file stays behind.
QStringList folderEntries(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

bool writeG4(const QImage& page, const QString& path) {
    QImage bilevel = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    TImageIO io;
    io.BindBitmap(&bilevel);
    io.Params().dpiX = io.Params().dpiY = 300;
    io.Params().tiffCompression = TiffCompression::G4;
    io.SaveImageFile(path);
    return !io.IoFailed();
}

} // namespace

class SkewTest : public QObject {
    Q_OBJECT
private slots:
    void straightensTurnedPages_data() {
        QTest::addColumn<double>("degrees");
        QTest::addColumn<bool>("bilevel");
        QTest::newRow("0.5° clockwise") << 0.5 << false;
        QTest::newRow("1.3° anticlockwise") << -1.3 << false;
        QTest::newRow("2.7° clockwise") << 2.7 << false;
        QTest::newRow("5° anticlockwise") << -5.0 << false;
        QTest::newRow("3° clockwise, black and white G4") << 3.0 << true;
    }
    void straightensTurnedPages() {
        QFETCH(double, degrees);
        QFETCH(bool, bilevel);
        QTemporaryDir dir;
        const QString path = dir.filePath(bilevel ? "page.tif" : "page.jpg");
        const QImage turned = scannedpages::page(Kind::Text, degrees, 300, 11);
        QVERIFY(bilevel ? writeG4(turned, path) : scannedpages::write(turned, path));
        // The test's measure sees the turn it made.
        QVERIFY2(std::abs(skewmeasure::linesAngle(load(path)) - degrees) <= 0.1,
                 "the test's own measure misreads the page it turned");

        const pagefile::Result result = pagefile::straightenFile(path);
        QCOMPARE(result.outcome, pagefile::Outcome::Straightened);
        QVERIFY2(std::abs(result.degrees - degrees) <= 0.2,
                 qPrintable(QString::number(result.degrees)));
        TImageIOParams params;
        const QImage level = load(path, &params);
        QVERIFY(!level.isNull());
        const double left = skewmeasure::linesAngle(level);
        QVERIFY2(std::abs(left) <= 0.2,
                 qPrintable(QStringLiteral("still turned by %1°").arg(left)));
        // The file keeps its kind: size, resolution and, for black and white, one bit and G4.
        QCOMPARE(level.size(), turned.size());
        QCOMPARE(params.dpiX, 300);
        if (bilevel) {
            QCOMPARE(level.depth(), 1);
            QCOMPARE(params.tiffCompression, TiffCompression::G4);
        }
        QCOMPARE(folderEntries(dir), QStringList{QFileInfo(path).fileName()});
    }

    void leavesPagesOutsideTheLimitsAlone_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<double>("degrees");
        QTest::addColumn<pagefile::Outcome>("outcome");
        QTest::newRow("level") << Kind::Text << 0.0 << pagefile::Outcome::AlreadyLevel;
        // Leptonica's measure is good to about 0.08°, so the row stays clear of the limit.
        QTest::newRow("0.03°") << Kind::Text << 0.03 << pagefile::Outcome::AlreadyLevel;
        QTest::newRow("11°") << Kind::Text << 11.0 << pagefile::Outcome::TooSkewed;
        QTest::newRow("blank sheet") << Kind::Everything << 0.0 << pagefile::Outcome::NoTextLines;
    }
    void leavesPagesOutsideTheLimitsAlone() {
        QFETCH(Kind, kind);
        QFETCH(double, degrees);
        QFETCH(pagefile::Outcome, outcome);
        QTemporaryDir dir;
        const QString path = dir.filePath("page.jpg");
        QVERIFY(scannedpages::write(scannedpages::page(kind, degrees), path));
        const QByteArray before = digest(path);
        const pagefile::Result result = pagefile::straightenFile(path);
        qInfo("measured %.3f°", result.degrees);
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(digest(path), before);
        QCOMPARE(folderEntries(dir), QStringList{"page.jpg"});
        // And the operator is told why.
        QVERIFY(!pagefile::describe(result).isEmpty());
        if (outcome == pagefile::Outcome::TooSkewed) {
            QVERIFY(pagefile::describe(result).contains(QStringLiteral("10")));
        }
    }

    void replacesOnlyTheFileItRead_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<pagefile::Outcome>("outcome");
        // Another process acts on the page between the read and the replacement: a scan copied
        // over it (same file, new bytes), a scan renamed over it (a new file), or a clearing
        // save that removed it after archiving it.
        QTest::newRow("copied over") << "cp" << pagefile::Outcome::Changed;
        QTest::newRow("renamed over") << "mv" << pagefile::Outcome::Changed;
        QTest::newRow("removed") << "rm" << pagefile::Outcome::Gone;
        QTest::newRow("untouched") << "" << pagefile::Outcome::Straightened;
    }
    void replacesOnlyTheFileItRead() {
        QFETCH(QString, command);
        QFETCH(pagefile::Outcome, outcome);
        QTemporaryDir dir;
        const QString path = dir.filePath("page.jpg");
        const QString scan = dir.filePath("next-scan.jpg");
        QVERIFY(scannedpages::write(scannedpages::page(Kind::Text, 2.0), path));
        QVERIFY(scannedpages::write(scannedpages::page(Kind::Handwriting, 0.0, 150), scan));
        const QByteArray scanned = digest(scan);

        pagefile::Straightening straightening(path);
        QCOMPARE(straightening.result().outcome, pagefile::Outcome::Straightened);
        QTest::qWait(20); // a file written now has another modification time
        if (command == QStringLiteral("rm")) {
            QCOMPARE(QProcess::execute("rm", {path}), 0);
        } else if (!command.isEmpty()) {
            QCOMPARE(QProcess::execute(command, {scan, path}), 0);
        }
        QCOMPARE(straightening.commit().outcome, outcome);

        QStringList expected{"next-scan.jpg", "page.jpg"};
        if (command == QStringLiteral("rm")) {
            expected.removeOne("page.jpg"); // nothing comes back under the page's name
        } else if (!command.isEmpty()) {
            QCOMPARE(digest(path), scanned); // the other process's file is left as it came
        } else {
            QVERIFY(std::abs(skewmeasure::linesAngle(load(path))) <= 0.2);
        }
        if (command == QStringLiteral("mv")) {
            expected.removeOne("next-scan.jpg");
        }
        QCOMPARE(folderEntries(dir), expected);
    }

    void refusesWhatTheEditorRefuses() {
        QTemporaryDir dir;
        const QString path = dir.filePath("page.jpg");
        QVERIFY(scannedpages::write(scannedpages::page(Kind::Text, 2.0), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup);
        const QByteArray before = digest(path);
        QCOMPARE(pagefile::straightenFile(path).outcome, pagefile::Outcome::WriteProtected);
        QCOMPARE(digest(path), before);
        QCOMPARE(pagefile::straightenFile(dir.filePath("missing.jpg")).outcome,
                 pagefile::Outcome::Gone);
    }
};

QTEST_MAIN(SkewTest)
#include "skew_test.moc"
