// SPDX-License-Identifier: GPL-3.0-or-later
// barcode-bench [CORPUS_DIR]: the time from a first page's file to its patient number, as the
// main window reads it after an intake. The pages are corpus scans (make_corpus.sh; without a
// corpus, plain paper) at 2480 x 3508 with a label of each symbology pasted on, written as
// JPEG; the same scans without a label show the cost of a page that yields nothing.

#include "barcode/patientbarcode.h"
#include "imaging/imagereader.h"
#include "labelpages.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

namespace {

double medianMs(QList<double> times) {
    std::sort(times.begin(), times.end());
    return times.isEmpty() ? 0.0 : times.at(times.size() / 2);
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QStringList backgrounds;
    if (argc > 1) {
        const QDir jpg(QDir(QString::fromLocal8Bit(argv[1])).filePath(QStringLiteral("jpg")));
        for (const auto& name : jpg.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name)) {
            backgrounds << jpg.filePath(name);
            if (backgrounds.size() == 6) {
                break;
            }
        }
    }
    QTemporaryDir dir;
    const barcode::PatientBarcodeReader reader(barcode::allSymbologies(), barcode::defaultPattern);
    const QList<barcode::Symbology> symbologies = barcode::allSymbologies();
    out << "page 2480 x 3508 (A4, 300 dpi), JPEG q80; corpus: "
        << (backgrounds.isEmpty() ? QStringLiteral("none (plain paper)") : backgrounds.first())
        << Qt::endl;

    QList<double> withLabel;
    QList<double> without;
    constexpr int rounds = 5;
    for (int n = 0; n < symbologies.size(); ++n) {
        const barcode::Symbology symbology = symbologies.at(n);
        QImage background;
        if (!backgrounds.isEmpty()) {
            background =
                imaging::readImageForSize(backgrounds.at(n % backgrounds.size()), QSize(2480, 3508))
                    .image;
        }
        // An EAN-8 check digit that makes the text a valid code of every symbology.
        const QString text = QStringLiteral("12345670");
        const QString labelled = dir.filePath(QStringLiteral("label-%1.jpg").arg(n));
        const QString plain = dir.filePath(QStringLiteral("plain-%1.jpg").arg(n));
        labelpages::writeJpeg(
            labelpages::page({{symbology, text, {130.0, 15.0}}}, 300, 1.5, 6, background),
            labelled);
        labelpages::writeJpeg(labelpages::page({}, 300, 0.0, 6, background), plain);

        QList<double> times;
        barcode::PageReading reading;
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer timer;
            timer.start();
            reading = reader.readFile(labelled);
            times << timer.nsecsElapsed() / 1e6;
        }
        QList<double> plainTimes;
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer timer;
            timer.start();
            reader.readFile(plain);
            plainTimes << timer.nsecsElapsed() / 1e6;
        }
        withLabel << medianMs(times);
        without << medianMs(plainTimes);
        out << QStringLiteral("%1  label: %2 ms (%3)  no label: %4 ms")
                   .arg(barcode::symbologyName(symbology), -10)
                   .arg(medianMs(times), 6, 'f', 1)
                   .arg(reading.status == barcode::PageReading::Status::Found
                            ? QStringLiteral("read %1").arg(reading.patient)
                            : QStringLiteral("NOT READ"))
                   .arg(medianMs(plainTimes), 6, 'f', 1)
            << Qt::endl;
    }
    out << QStringLiteral("first page with a label: median %1 ms, longest %2 ms (goal: 60 ms)")
               .arg(medianMs(withLabel), 0, 'f', 1)
               .arg(*std::max_element(withLabel.begin(), withLabel.end()), 0, 'f', 1)
        << Qt::endl;
    out << QStringLiteral("first page without a label: median %1 ms")
               .arg(medianMs(without), 0, 'f', 1)
        << Qt::endl;
    return 0;
}
