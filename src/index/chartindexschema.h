// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The layout of the chart index: table, fields and indexes, in one place for the code that
/// creates an index and the code that checks one before use.

#include "index/indexlocation.h"

#include <QString>
#include <QStringList>

namespace chartindex {

/// File name of the SQLite index in the program folder.
inline const QString fileName = QStringLiteral("PeloraFileDB.db");
inline const QString tableName = QStringLiteral("PeloraFileDB");
/// Index on FilePath used by the path look-up.
inline const QString pathIndexName = QStringLiteral("REGPATH");
/// Index on Pidno, for one patient's rows and ranges of patients.
inline const QString patientIndexName = QStringLiteral("PIDNO");
/// The identity of a row: SQLite's rowid, and a generated key column of that name on a server.
inline const QString identityColumn = QStringLiteral("rowid");

/// Beside the chart table, tables of our own that leave its eight fields as they are: the
/// SHA-256 of each chart file by path, and the append-only trail of every row added, edited
/// or deleted.
inline const QString hashTableName = QStringLiteral("ChartHash");
inline const QString auditTableName = QStringLiteral("ChartAudit");

/// The index's own facts, by name: the version of its schema among them.
inline const QString metaTableName = QStringLiteral("PeloraFileMeta");
inline const QString schemaVersionName = QStringLiteral("SchemaVersion");
/// The schema this program writes. 1: the chart table with its hash and audit tables; 2: an
/// identity never handed out again, and an audit trail whose lines are chained by their hashes.
constexpr int currentSchemaVersion = 2;

/// The kind of a field as the index layer checks it.
enum class FieldKind : quint8 { Integer, Timestamp, Text };

struct FieldSpec {
    QString name;
    FieldKind kind;
    int width; ///< bytes for text fields, 0 otherwise
};

/// The eight fields in table order.
const QList<FieldSpec>& fields();
/// Key1 to Key4.
const QStringList& keyFieldNames();

/// Creates an empty SQLite index file at \p path with the table, its fields and its indexes.
/// Refuses to touch an existing file. On failure returns false with the reason in \p error.
bool createEmptyIndex(const QString& path, QString* error);

enum class CreateResult : quint8 { Created, AlreadyExists, Failed };

/// Creates an empty index where \p location says: the SQLite file, or the table and its
/// indexes (path, patient, and the trigram indexes of the keyword search) in the server's
/// database. An existing index is left as it is.
CreateResult createIndex(const IndexLocation& location, QString* error);

} // namespace chartindex
