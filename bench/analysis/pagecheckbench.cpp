// SPDX-License-Identifier: GPL-3.0-or-later
// pagecheck-bench CORPUS [PAGES]: for PAGES colour scans of the corpus that make_corpus.sh
// builds (300 dpi A4, 20 by default), the time per page of
//   - the thumbnail's decode as intake makes it, and the blank-page check over that decode;
//     pages the check cannot be sure of there are decoded again at 75 dpi and checked again,
//     which is timed apart (with the number of such pages);
//   - straightening: the full decode, Leptonica's skew measure, the turn back, and beside it a
//     plain rotation of the same page by Qt (smooth transform), and the whole file rewrite.
//
// Times are the thread's processor time, not the wall clock.
//
// Run: QT_QPA_PLATFORM=offscreen build/bench/pagecheck-bench /tmp/perfcorpus

#include "analysis/blankpage.h"
#include "analysis/pagefile.h"
#include "analysis/skew.h"
#include "app/thumbnailrule.h"
#include "benchcorpus.h"
#include "imaging/imagereader.h"
#include "imaging/resample.h"
#include "imaging/timageio.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTransform>
#include <algorithm>
#include <ctime>
#include <leptonica/allheaders.h>

namespace {

/// The time this thread has run: on a machine shared with other work the wall clock counts
/// their turns too.
class CpuClock {
public:
    void start() { m_start = now(); }
    qint64 nsecsElapsed() const { return now() - m_start; }

private:
    static qint64 now() {
        timespec time{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
        return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
    }
    qint64 m_start = 0;
};

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
    Figure thumbnailDecode{QStringLiteral("thumbnail decode (1/8 scale)")};
    Figure check{QStringLiteral("blank-page check over that decode")};
    Figure checkAgain{QStringLiteral("pages not sure there: decode at 1/4 and check")};
    Figure checkLarge{QStringLiteral("(for comparison) check over a 1/4 decode")};
    Figure fullDecode{QStringLiteral("full decode for straightening")};
    Figure measure{QStringLiteral("skew measure (Leptonica)")};
    Figure turn{QStringLiteral("turn back (as straightening does it)")};
    Figure areaMap{QStringLiteral("turn back by Leptonica's area map")};
    Figure plain{QStringLiteral("plain rotation of the same page (Qt, smooth)")};
    Figure file{QStringLiteral("straightenFile: read, measure, turn, write, replace")};
    int blank = 0;
    CpuClock clock;
    for (int n = 0; n < pages; ++n) {
        const QString scan = scans.at(n % scans.size());
        const auto header = imaging::readImageHeader(scan);
        const QRect target = thumbnailrule::placement(header.fullSize, 128, false);

        clock.start();
        const auto small = imaging::readImageForSize(scan, target.size());
        thumbnailDecode.add(clock.nsecsElapsed());
        clock.start();
        auto verdict = blankpage::examine(small.image, small.fullSize, small.params.dpiX,
                                          blankpage::Thresholds());
        check.add(clock.nsecsElapsed());
        if (!verdict.certain) {
            clock.start();
            const auto large = imaging::readImageForSize(
                scan, blankpage::decodeSizeFor(header.fullSize, header.params.dpiX));
            verdict = blankpage::examine(large.image, large.fullSize, large.params.dpiX,
                                         blankpage::Thresholds());
            checkAgain.add(clock.nsecsElapsed());
        }
        blank += verdict.blank ? 1 : 0;
        const auto large = imaging::readImageForSize(
            scan, blankpage::decodeSizeFor(header.fullSize, header.params.dpiX));
        clock.start();
        (void)blankpage::examine(large.image, large.fullSize, large.params.dpiX,
                                 blankpage::Thresholds());
        checkLarge.add(clock.nsecsElapsed());

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
        {
            // Leptonica's own rotation of the same page, 32 bits a pixel.
            PIX* pix = pixCreate(page.width(), page.height(), 32);
            const QImage colour = page.convertToFormat(QImage::Format_RGB32);
            l_uint32* data = pixGetData(pix);
            const int wpl = pixGetWpl(pix);
            for (int y = 0; y < colour.height(); ++y) {
                const auto* in = reinterpret_cast<const QRgb*>(colour.constScanLine(y));
                for (int x = 0; x < colour.width(); ++x) {
                    data[y * wpl + x] = in[x] << 8;
                }
            }
            PIX* turnedPix = pixRotateAMColor(pix, float(-degrees * 3.14159265 / 180), 0xffffff00);
            pixDestroy(&turnedPix);
            pixDestroy(&pix);
        }
        areaMap.add(clock.nsecsElapsed());
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
    for (const Figure* figure : {&thumbnailDecode, &check, &checkAgain, &checkLarge, &fullDecode,
                                 &measure, &turn, &areaMap, &plain, &file}) {
        if (figure->count == 0) {
            out << QStringLiteral("  %1: no page\n").arg(figure->name, -52);
            continue;
        }
        out << QStringLiteral("  %1: %2 ms a page (worst %3 ms, %4 pages)\n")
                   .arg(figure->name, -52)
                   .arg(figure->totalMs / figure->count, 0, 'f', 2)
                   .arg(figure->worstMs, 0, 'f', 2)
                   .arg(figure->count);
    }
    return 0;
}
