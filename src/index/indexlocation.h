// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Where the chart index of a program folder lives: the SQLite file beside the program, or the
/// PostgreSQL database that the folder's PeloraFileDB.conf names.

#include <QString>
#include <optional>

namespace chartindex {

/// Name of the file that moves the index to a database server.
inline const QString confFileName = QStringLiteral("PeloraFileDB.conf");

/// A PostgreSQL database. The password is never part of it: libpq finds it itself (its password
/// file or PGPASSWORD), so the program folder holds no secret.
struct ServerAddress {
    QString host;
    int port = 0;
    QString database;
    QString user;
    /// How long one statement may wait for the server (the conf file's statement_timeout);
    /// none: the program's own default.
    std::optional<int> statementTimeoutSeconds;

    /// "database pelorafile on 127.0.0.1:5432 as pelorafile", for messages.
    QString describe() const;
};

struct IndexLocation {
    QString sqliteFile;                  ///< the file, when no conf file selects a server
    std::optional<ServerAddress> server; ///< set when the conf file selects one
};

/// Reads \p programFolder's conf file, if any. A conf file that cannot be read, is not of the
/// expected form, names a driver other than postgresql, misses a key, holds an unknown key or a
/// password gives std::nullopt and the reason in \p error, naming the file and the line.
std::optional<IndexLocation> locateIndex(const QString& programFolder, QString* error);

/// Parses the text of a conf file; \p source names it in messages.
std::optional<ServerAddress> parseConf(const QString& text, const QString& source, QString* error);

} // namespace chartindex
