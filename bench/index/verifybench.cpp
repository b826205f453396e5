// SPDX-License-Identifier: GPL-3.0-or-later
// verify-bench [--charts N] [--kib K]: files N chart files of K KiB (10,000 of 256 KiB by
// default) in an SQLite index with their hashes, then prints how fast the verification reads
// them back from the page cache, on one thread and on the threads verify uses.

#include "index/chartindex.h"
#include "index/chartindexschema.h"
#include "index/chartverification.h"
#include "platform/sha256.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    int charts = 10000;
    int kib = 256;
    const QStringList arguments = app.arguments();
    for (qsizetype n = 1; n + 1 < arguments.size(); n += 2) {
        if (arguments.at(n) == u"--charts") {
            charts = arguments.at(n + 1).toInt();
        } else if (arguments.at(n) == u"--kib") {
            kib = arguments.at(n + 1).toInt();
        }
    }
    QTemporaryDir folder;
    QString error;
    if (!chartindex::createEmptyIndex(folder.filePath(chartindex::fileName), &error)) {
        out << "cannot create the index: " << error << '\n';
        return 1;
    }
    ChartIndex index;
    if (!index.open(folder.path())) {
        out << "cannot open the index: " << index.lastError() << '\n';
        return 1;
    }
    QByteArray bytes(kib * 1024, Qt::Uninitialized);
    QRandomGenerator random(5);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    QDir(folder.path()).mkdir("charts");
    {
        ChartIndex::BulkImport transaction(index);
        std::vector<ChartIndex::StoredRow> rows;
        std::vector<QByteArray> hashes;
        for (int n = 0; n < charts; ++n) {
            bytes[0] = char(n); // no two charts alike
            bytes[1] = char(n >> 8);
            const QString path = folder.filePath(QStringLiteral("charts/%1.pdf").arg(n));
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
                out << "cannot write " << path << '\n';
                return 1;
            }
            Sha256 hash;
            hash.add(bytes.constData(), std::size_t(bytes.size()));
            rows.push_back({0, 1 + n / 5, n % 5, QDateTime::currentDateTime(), path, {}});
            hashes.push_back(hash.hexDigest());
        }
        if (!transaction.add(rows, hashes) || !transaction.commit()) {
            out << index.lastError() << '\n';
            return 1;
        }
    }
    const double megabytes = double(charts) * kib / 1024;
    out << QStringLiteral("%1 charts of %2 KiB (%3 MB) filed\n")
               .arg(charts)
               .arg(kib)
               .arg(megabytes, 0, 'f', 0);
    const int threads = std::clamp(QThread::idealThreadCount(), 1, 4);
    for (int pass : {1, threads}) {
        for (int round = 0; round < 2; ++round) { // the first round also fills the page cache
            QElapsedTimer timer;
            timer.start();
            qint64 problems = 0;
            const auto summary = chartverification::verifyCharts(
                folder.path(), std::nullopt, pass,
                [&](const chartverification::Finding&) { ++problems; });
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            if (!summary || problems != 0) {
                out << "the verification failed or found problems\n";
                return 1;
            }
            if (round == 1) {
                out << QStringLiteral("verify on %1 thread(s): %2 s, %3 MB/s, %4 charts/s\n")
                           .arg(pass)
                           .arg(seconds, 0, 'f', 2)
                           .arg(megabytes / seconds, 0, 'f', 0)
                           .arg(double(summary->charts) / seconds, 0, 'f', 0);
            }
        }
    }
    return 0;
}
