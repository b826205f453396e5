// pagecheck-bench CORPUS [PAGES]: for PAGES colour scans of the corpus that make_corpus.sh
// builds (300 dpi A4, 20 by default), the time per page of
//   - the thumbnail's decode as intake makes it without the blank-page check, and with it (the
//     check asks for at least 75 dpi), and the check itself over that decode;
//   - straightening: the full decode, Leptonica's skew measure, the turn back, and beside it a
//     plain rotation of the same page by Qt (smooth transform), and the whole file rewrite.
//
// Run: build/bench/pagecheck-bench /tmp/perfcorpus

#include "analysis/blankpage.h"
#include "analysis/pagefile.h"
#include "analysis/skew.h"
#include "app/thumbnailrule.h"
#include "benchcorpus.h"
#include "imaging/imagereader.h"
#include "imaging/resample.h"
#include "imaging/timageio.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTransform>
#include <algorithm>

namespace {

struct Figure {
    QString name;
    double totalMs = 0;
    double worstMs = 0;
    int count = 0;
    void add(qint64 ns) {
        const double ms = ns / 1e6;
        totalMs += ms;
        worstMs = std::max(worstMs, ms);
        ++count;
    }
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    if (argc < 2) {
        out << "usage: pagecheck-bench CORPUS [PAGES]\n";
        return 64;
    }
    const int pages = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 20;
    const QStringList scans = benchcorpus::scans(QString::fromLocal8Bit(argv[1]));
    if (scans.isEmpty()) {
        out << "no scans in " << argv[1] << "/jpg (build them with make_corpus.sh)\n";
        return 1;
    }
    QTemporaryDir dir;
    Figure thumbnailDecode{QStringLiteral("thumbnail decode, no check (1/8 scale)")};
    Figure checkDecode{QStringLiteral("thumbnail decode for the check (1/4 scale, 75 dpi)")};
    Figure check{QStringLiteral("blank-page check over that decode")};
    Figure resampleSmall{QStringLiteral("thumbnail resample from the 1/8 decode")};
    Figure resampleLarge{QStringLiteral("thumbnail resample from the 1/4 decode")};
    Figure fullDecode{QStringLiteral("full decode for straightening")};
    Figure measure{QStringLiteral("skew measure (Leptonica)")};
    Figure turn{QStringLiteral("turn back (Leptonica, area map)")};
    Figure plain{QStringLiteral("plain rotation of the same page (Qt, smooth)")};
    Figure file{QStringLiteral("straightenFile: read, measure, turn, write, replace")};
    int blank = 0;
    QElapsedTimer clock;
    for (int n = 0; n < pages; ++n) {
        const QString scan = scans.at(n % scans.size());
        const auto header = imaging::readImageHeader(scan);
        const QRect target = thumbnailrule::placement(header.fullSize, 128, false);

        clock.start();
        const auto small = imaging::readImageForSize(scan, target.size());
        thumbnailDecode.add(clock.nsecsElapsed());
        clock.start();
        const auto large = imaging::readImageForSize(
            scan, target.size().expandedTo(
                      blankpage::decodeSizeFor(header.fullSize, header.params.dpiX)));
        checkDecode.add(clock.nsecsElapsed());
        clock.start();
        const auto verdict = blankpage::examine(large.image, large.fullSize, large.params.dpiX,
                                                blankpage::Thresholds());
        check.add(clock.nsecsElapsed());
        blank += verdict.blank ? 1 : 0;
        clock.start();
        (void)imaging::resample(small.image, target.size());
        resampleSmall.add(clock.nsecsElapsed());
        clock.start();
        (void)imaging::resample(large.image, target.size());
        resampleLarge.add(clock.nsecsElapsed());

        TImageIO io;
        clock.start();
        io.LoadImageFile(scan);
        fullDecode.add(clock.nsecsElapsed());
        const QImage page = io.bitmap();
        clock.start();
        const skew::Measurement found = skew::measure(page);
        measure.add(clock.nsecsElapsed());
        const double degrees = found.found && std::abs(found.degrees) >= skew::SmallestTurn
                                   ? found.degrees
                                   : 0.5; // a page already level is turned all the same here
        clock.start();
        const QImage turned = skew::turnedBack(page, degrees);
        turn.add(clock.nsecsElapsed());
        clock.start();
        const QImage rotated =
            page.transformed(QTransform().rotate(-degrees), Qt::SmoothTransformation);
        plain.add(clock.nsecsElapsed());

        const QString copy = dir.filePath(QStringLiteral("page-%1.jpg").arg(n));
        QFile::copy(scan, copy);
        clock.start();
        (void)pagefile::straightenFile(copy);
        file.add(clock.nsecsElapsed());
    }
    out << QStringLiteral("%1 pages of %2 (300 dpi A4 colour JPEG), %3 found blank\n")
               .arg(pages)
               .arg(argv[1])
               .arg(blank);
    for (const Figure* figure : {&thumbnailDecode, &checkDecode, &check, &resampleSmall,
                                 &resampleLarge, &fullDecode, &measure, &turn, &plain, &file}) {
        out << QStringLiteral("  %1: %2 ms a page (worst %3 ms)\n")
                   .arg(figure->name, -52)
                   .arg(figure->totalMs / figure->count, 0, 'f', 2)
                   .arg(figure->worstMs, 0, 'f', 2);
    }
    return 0;
}
