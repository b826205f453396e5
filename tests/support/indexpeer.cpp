// SPDX-License-Identifier: GPL-3.0-or-later
// index-peer: another workstation in a process of its own, changing the chart index of a
// program folder through the program's own record API, for tests of what two workstations do
// to one index at the same time.
//
//   index-peer FOLDER delete PATIENT        deletes every row of PATIENT, as seen now
//   index-peer FOLDER insert PATIENT PATH   adds a saved chart's row
//   index-peer FOLDER edit PATIENT KEY1     sets the first keyword of PATIENT's rows
//
// Exits 0 when the change was written, 1 when it was not (the reason on standard error).

#include "index/chartindex.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    QTextStream err(stderr);
    if (arguments.size() < 3) {
        err << "usage: index-peer FOLDER delete|insert|edit PATIENT [PATH|KEY1]\n";
        return 64;
    }
    ChartIndex index;
    if (!index.open(arguments.at(0))) {
        err << index.lastError() << '\n';
        return 1;
    }
    const QString& command = arguments.at(1);
    const int patient = arguments.at(2).toInt();
    if (command == u"insert" && arguments.size() == 4) {
        const auto added = index.insertChart({patient, 0, arguments.at(3), {}});
        if (!added) {
            err << added.error << '\n';
        }
        return added ? 0 : 1;
    }
    std::vector<ChartIndex::StoredRow> rows;
    IndexCursor cursor = index.patientRows(patient);
    while (auto row = cursor.next()) {
        rows.push_back(*row);
    }
    for (const auto& row : rows) {
        const auto changed = command == u"delete"
                                 ? index.deleteChart(row)
                                 : index.editKeywords(row, {arguments.value(3), row.keys[1],
                                                            row.keys[2], row.keys[3]});
        if (!changed) {
            err << "row " << row.id << ": " << changed.error << '\n';
            return 1;
        }
    }
    return 0;
}
