// SPDX-License-Identifier: GPL-3.0-or-later
#include "admincommand.h"

#include "index/chartindex.h"
#include "index/chartindexschema.h"
#include "index/indexlocation.h"

#include <QDir>
#include <QTextStream>

/// create-index FOLDER: an empty chart index for the program folder FOLDER: the SQLite file in
/// it, or the tables on the server its PeloraFileDB.conf names; a missing FOLDER is made. Exit 1
/// when the index exists already, 2 when it cannot be created.
int runCreateIndex(const QStringList& arguments, const QString&) {
    QTextStream err(stderr);
    if (arguments.size() != 1) {
        err << "usage: pelorafile-admin create-index FOLDER\n";
        return ExitUsage;
    }
    if (!QDir().mkpath(arguments.at(0))) {
        err << "cannot create the chart index: the folder " << arguments.at(0)
            << " cannot be made\n";
        return 2;
    }
    QString error;
    const auto location = chartindex::locateIndex(arguments.at(0), &error);
    if (!location) {
        err << "cannot create the chart index: " << error << '\n';
        return 2;
    }
    switch (chartindex::createIndex(*location, &error)) {
    case chartindex::CreateResult::AlreadyExists:
        err << error << '\n';
        return 1;
    case chartindex::CreateResult::Failed:
        err << "cannot create the chart index: " << error << '\n';
        return 2;
    case chartindex::CreateResult::Created:
        break;
    }
    QTextStream(stdout) << "created "
                        << (location->server ? location->server->describe() : location->sqliteFile)
                        << '\n';
    return ExitOk;
}

/// upgrade-index: opens the index of the program folder for changes, which brings an index made
/// by an earlier version up to date.
int runUpgradeIndex(const QStringList& arguments, const QString& programFolder) {
    QTextStream err(stderr);
    if (!arguments.isEmpty()) {
        err << "usage: pelorafile-admin upgrade-index\n";
        return ExitUsage;
    }
    ChartIndex index;
    index.setStatementLimitMs(0); // an upgrade writes a line for every row
    if (!openIndex(index, programFolder, err)) {
        return 2;
    }
    QTextStream(stdout) << index.location() << " is up to date\n";
    return ExitOk;
}
