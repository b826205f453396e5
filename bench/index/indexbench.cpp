// index-bench [--rows N] [--server-folder DIR]: builds an index of N rows (1,000,000 by default)
// on SQLite and on PostgreSQL, then prints how long the index windows wait for the first 100
// rows of a keyword search, for one patient's rows, and for a path look-up. PostgreSQL runs in
// the program folder DIR (its PeloraFileDB.conf naming an empty index), or else on a private
// server the bench starts for itself.

#include "index/chartindex.h"
#include "index/chartindexschema.h"

#ifdef PELORA_PRIVATE_SERVER
#include "privateserver.h"
#endif

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

QTextStream out(stdout);

/// Rows like a clinic's: about five charts per patient, a body part in kanji, a doctor's code,
/// a free note, and mostly no fourth key. Row n is always the same row, so the look-ups can
/// ask for paths that were filed.
class RowMaker {
public:
    explicit RowMaker(int patients) : m_patients(patients) {}

    ChartIndex::StoredRow make(qint64 n) const {
        QRandomGenerator random(quint32(n) * 2654435761u + 20240305u);
        static const QStringList parts{"胸部",     "腹部",   "頭部",   "頸部",
                                       "腰椎",     "膝関節", "肩関節", "心電図",
                                       "血液検査", "紹介状", "同意書", "問診票"};
        ChartIndex::StoredRow row;
        row.pidno = 1 + int(random.bounded(m_patients));
        row.subNo = int(n % 1000);
        row.createdAt = QDateTime(QDate(2015, 1, 1), QTime(8, 0)).addSecs(n * 300);
        row.filePath = QStringLiteral("/archive/%1/HP77_%2_%3.pdf")
                           .arg(row.pidno % 100, 2, 10, QChar('0'))
                           .arg(row.pidno)
                           .arg(n);
        row.keys[0] = parts.at(random.bounded(parts.size()));
        row.keys[1] = QStringLiteral("Dr%1").arg(random.bounded(400));
        QString note;
        for (int c = 0; c < 12; ++c) {
            note += QChar('a' + int(random.bounded(26)));
        }
        row.keys[2] = note;
        if (random.bounded(10) == 0) {
            row.keys[3] = QStringLiteral("要再検");
        }
        return row;
    }

private:
    int m_patients;
};

bool fill(ChartIndex& index, qint64 rows, int patients) {
    RowMaker maker(patients);
    QElapsedTimer timer;
    timer.start();
    IndexTransaction transaction(index);
    if (!transaction.active()) {
        return false;
    }
    std::vector<ChartIndex::StoredRow> batch;
    for (qint64 n = 0; n < rows; ++n) {
        batch.push_back(maker.make(n));
        if (batch.size() == 1000 || n + 1 == rows) {
            if (!index.appendRows(batch)) {
                return false;
            }
            batch.clear();
        }
    }
    if (!transaction.commit()) {
        return false;
    }
    out << "  filled " << rows << " rows in " << timer.elapsed() / 1000.0 << " s\n";
    out.flush();
    return true;
}

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

void measure(ChartIndex& index, qint64 rows, int patients) {
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

bool runOn(const QString& name, const QString& folder, qint64 rows, int patients,
           const std::function<void()>& afterFill = {}) {
    out << name << ":\n";
    out.flush();
    ChartIndex index;
    if (!index.open(folder)) {
        out << "  cannot open: " << index.lastError() << '\n';
        return false;
    }
    if (!fill(index, rows, patients)) {
        out << "  filling failed: " << index.lastError() << '\n';
        return false;
    }
    if (afterFill) {
        afterFill();
    }
    measure(index, rows, patients);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qint64 rows = 1000000;
    QString serverFolder;
    const QStringList arguments = app.arguments();
    for (qsizetype n = 1; n + 1 < arguments.size(); n += 2) {
        if (arguments.at(n) == u"--rows") {
            rows = arguments.at(n + 1).toLongLong();
        } else if (arguments.at(n) == u"--server-folder") {
            serverFolder = arguments.at(n + 1);
        }
    }
    const int patients = int(std::max<qint64>(1, rows / 5));
    bool ok = true;

    QTemporaryDir sqliteFolder;
    QString error;
    if (!chartindex::createEmptyIndex(sqliteFolder.filePath(chartindex::fileName), &error)) {
        out << "cannot create the SQLite index: " << error << '\n';
        return 1;
    }
    ok = runOn(QStringLiteral("SQLite"), sqliteFolder.path(), rows, patients) && ok;

#ifdef PELORA_PRIVATE_SERVER
    std::unique_ptr<PrivateServer> server;
    QTemporaryDir privateFolder;
    std::function<void()> analyse;
    if (serverFolder.isEmpty()) {
        server = PrivateServer::start(&error);
        if (!server) {
            out << "PostgreSQL: no server: " << error << '\n';
            return 1;
        }
        const QString database = server->createDatabase(&error);
        QFile conf(privateFolder.filePath(chartindex::confFileName));
        conf.open(QIODevice::WriteOnly);
        conf.write(PrivateServer::confText(server->address(database)));
        conf.close();
        if (chartindex::createIndex(*chartindex::locateIndex(privateFolder.path(), &error),
                                    &error) != chartindex::CreateResult::Created) {
            out << "PostgreSQL: cannot create the index: " << error << '\n';
            return 1;
        }
        serverFolder = privateFolder.path();
        // What the server's autovacuum does shortly after a bulk load.
        analyse = [&server, database] {
            server->exec(database, QStringLiteral("VACUUM ANALYZE PeloraFileDB"));
        };
    }
#else
    std::function<void()> analyse;
#endif
    if (serverFolder.isEmpty()) {
        out << "PostgreSQL: skipped, no --server-folder given\n";
        return ok ? 0 : 1;
    }
    ok = runOn(QStringLiteral("PostgreSQL"), serverFolder, rows, patients, analyse) && ok;
    return ok ? 0 : 1;
}
