// SPDX-License-Identifier: GPL-3.0-or-later
// imaging-bench: how long the image component takes per scanned page for what its callers do
// with it: a full load (page editor, patient check), a decode for a 64-pixel thumbnail (page
// list) and a decode of the top-left 634 x 934 pixels (the chart composer's crop at the default
// page size).
//
//   imaging-bench [--rounds N] [FILE.jpg | FOLDER ...]     (default: /tmp/perfcorpus/jpg)
//
// Build the corpus with shared/bench/make_corpus.sh. Files are read once before timing so that
// the figures measure decoding, not the disk.

#include "imaging/imagereader.h"
#include "imaging/timageio.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <functional>

namespace {

QStringList collect(const QStringList& arguments) {
    QStringList files;
    for (const QString& argument : arguments) {
        const QFileInfo info(argument);
        if (info.isDir()) {
            const QDir dir(argument);
            for (const QString& name :
                 dir.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")}, QDir::Files,
                               QDir::Name)) {
                files << dir.filePath(name);
            }
        } else {
            files << argument;
        }
    }
    return files;
}

struct Measurement {
    QString label;
    std::function<QSize(const QString&)> run; ///< decodes one page, returns the size it got
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    int rounds = 3;
    if (arguments.size() >= 2 && arguments.at(0) == u"--rounds") {
        rounds = std::max(1, arguments.at(1).toInt());
        arguments = arguments.mid(2);
    }
    if (arguments.isEmpty()) {
        arguments << QStringLiteral("/tmp/perfcorpus/jpg");
    }
    QTextStream out(stdout);
    const QStringList files = collect(arguments);
    if (files.isEmpty()) {
        out << "no JPEG files found in " << arguments.join(u' ') << '\n';
        return 64;
    }

    QImage bitmap;
    TImageIO io;
    io.BindBitmap(&bitmap);
    const QList<Measurement> measurements = {
        {QStringLiteral("full decode (LoadImageFile)"),
         [&](const QString& path) {
             io.LoadImageFile(path);
             return io.IoFailed() ? QSize() : bitmap.size();
         }},
        {QStringLiteral("64-px thumbnail decode (readImageForSize 64 x 64)"),
         [](const QString& path) {
             const auto result = imaging::readImageForSize(path, QSize(64, 64));
             return result.failed ? QSize() : result.image.size();
         }},
        {QStringLiteral("top-left 634 x 934 decode (readImageTopLeft)"),
         [](const QString& path) {
             const auto result = imaging::readImageTopLeft(path, QSize(634, 934));
             return result.failed ? QSize() : result.image.size();
         }},
        {QStringLiteral("for comparison: full decode, then scale to 64 px"),
         [&](const QString& path) {
             io.LoadImageFile(path);
             return bitmap.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation).size();
         }},
    };

    // Warm the page cache and check that every file loads.
    for (const QString& path : files) {
        io.LoadImageFile(path);
        if (io.IoFailed()) {
            out << "does not load: " << path << ": " << io.lastError() << '\n';
            return 1;
        }
    }
    out << files.size() << " pages, " << rounds << " rounds; first page " << bitmap.width() << " x "
        << bitmap.height() << ", " << io.Params().dpiX << " dpi\n";
    for (const Measurement& m : measurements) {
        QSize size;
        double best = 1e300;
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer timer;
            timer.start();
            for (const QString& path : files) {
                size = m.run(path);
            }
            best = std::min(best, timer.nsecsElapsed() / 1e6 / double(files.size()));
        }
        out << QStringLiteral("%1 ms/page  %2  (last image %3 x %4)\n")
                   .arg(best, 7, 'f', 2)
                   .arg(m.label)
                   .arg(size.width())
                   .arg(size.height());
        out.flush();
    }
    return 0;
}
