// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The index the benchmarks of the index and its windows run on: a clinic's decade of rows,
/// built on SQLite and on PostgreSQL (a program folder given with --server-folder DIR, whose
/// PeloraFileDB.conf names an empty index, or else a private server started for the run).

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
#include <functional>
#include <memory>

namespace benchindex {

inline QTextStream out(stdout);

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

inline bool fill(ChartIndex& index, qint64 rows, int patients) {
    RowMaker maker(patients);
    QElapsedTimer timer;
    timer.start();
    index.setStatementLimitMs(0);
    ChartIndex::BulkImport transaction(index);
    if (!transaction.active()) {
        return false;
    }
    std::vector<ChartIndex::StoredRow> batch;
    for (qint64 n = 0; n < rows; ++n) {
        batch.push_back(maker.make(n));
        if (batch.size() == 1000 || n + 1 == rows) {
            if (!transaction.add(batch)) {
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

/// What a benchmark measures on one filled index (of the program folder \p folder): \p rows
/// rows of \p patients patients.
using Measure =
    std::function<void(ChartIndex& index, const QString& folder, qint64 rows, int patients)>;

inline bool runOn(const QString& name, const QString& folder, qint64 rows, int patients,
                  const Measure& measure, const std::function<void()>& afterFill = {}) {
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
    measure(index, folder, rows, patients);
    return true;
}

/// Builds the index on each backend in turn and runs \p measure on it; the arguments are
/// [--rows N] [--server-folder DIR]. Returns the process exit code.
inline int runBackends(const Measure& measure) {
    qint64 rows = 1000000;
    QString serverFolder;
    const QStringList arguments = QCoreApplication::arguments();
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
    ok = runOn(QStringLiteral("SQLite"), sqliteFolder.path(), rows, patients, measure) && ok;

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
    ok = runOn(QStringLiteral("PostgreSQL"), serverFolder, rows, patients, measure, analyse) && ok;
    return ok ? 0 : 1;
}

} // namespace benchindex
