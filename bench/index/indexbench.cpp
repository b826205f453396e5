// SPDX-License-Identifier: GPL-3.0-or-later
// index-bench [--rows N] [--server-folder DIR]: builds an index of N rows (1,000,000 by default)
// on SQLite and on PostgreSQL, then prints how long the index windows wait for the first 100
// rows of a keyword search, for one patient's rows, and for a path look-up. PostgreSQL runs in
// the program folder DIR (its PeloraFileDB.conf naming an empty index), or else on a private
// server the bench starts for itself.

#include "benchindex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <optional>

namespace {

using benchindex::out;
using benchindex::RowMaker;

/// Milliseconds for the first \p rows of \p cursor; the count found goes to \p found.
double firstRows(IndexCursor cursor, int rows, int* found) {
    QElapsedTimer timer;
    timer.start();
    *found = 0;
    while (*found < rows && cursor.next()) {
        ++*found;
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

void measure(ChartIndex& index, const QString&, qint64 rows, int patients) {
    struct Search {
        const char* what;
        ChartIndex::Keywords typed;
    };
    const std::vector<Search> searches{
        {"common kanji key (胸部, ~8% of rows)", {"胸部"}},
        {"doctor code (Dr12, ~1.4%)", {"", "Dr12"}},
        {"rare note fragment (qxzv)", {"", "", "qxzv"}},
        {"two keys (膝関節 AND Dr3%5)", {"膝関節", "Dr3%5"}},
        {"no match (zzzzzz)", {"", "", "zzzzzz"}},
    };
    for (const auto& search : searches) {
        int found = 0;
        // The first run warms the caches, as an earlier search would have.
        firstRows(index.searchKeywords(search.typed), 100, &found);
        const double ms = firstRows(index.searchKeywords(search.typed), 100, &found);
        out << QStringLiteral("  keyword search, first 100 rows, %1: %2 ms (%3 rows)\n")
                   .arg(QString::fromUtf8(search.what))
                   .arg(ms, 0, 'f', 2)
                   .arg(found);
    }
    QRandomGenerator random(7);
    constexpr int Patients = 200;
    std::vector<double> times;
    int found = 0;
    for (int n = 0; n < Patients; ++n) {
        int rowsOfOne = 0;
        times.push_back(
            firstRows(index.patientRows(1 + int(random.bounded(patients))), 1000, &rowsOfOne));
        found += rowsOfOne;
    }
    std::sort(times.begin(), times.end());
    out << QStringLiteral("  one patient's rows: %1 ms median, %2 ms at the 95th percentile, %3 "
                          "ms worst (%4 patients, %5 rows each on average)\n")
               .arg(times[times.size() / 2], 0, 'f', 3)
               .arg(times[times.size() * 95 / 100], 0, 'f', 3)
               .arg(times.back(), 0, 'f', 3)
               .arg(Patients)
               .arg(double(found) / Patients, 0, 'f', 1);
    RowMaker maker(patients);
    constexpr int Lookups = 1000;
    QElapsedTimer timer;
    timer.start();
    int hits = 0;
    for (int n = 0; n < Lookups; ++n) {
        // Every other path exists: the registration check asks for both kinds.
        const qint64 row = qint64(random.bounded(quint32(rows)));
        QString path = maker.make(row).filePath;
        if (n % 2 == 1) {
            path += QStringLiteral(".missing");
        }
        hits += index.containsPath(path).value_or(false) ? 1 : 0;
    }
    out << QStringLiteral("  path look-up: %1 ms average (%2 look-ups, %3 found)\n")
               .arg(double(timer.nsecsElapsed()) / 1e6 / Lookups, 0, 'f', 3)
               .arg(Lookups)
               .arg(hits);
    out.flush();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return benchindex::runBackends(measure);
}
