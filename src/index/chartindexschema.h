#pragma once

/// \file
/// The layout of the chart index: table, fields and the path index, in one place for the code
/// that creates an index and the code that checks one before use.

#include <QString>
#include <QStringList>

namespace chartindex {

/// File name of the index in the program folder.
inline const QString fileName = QStringLiteral("PeloraFileDB.db");
inline const QString tableName = QStringLiteral("PeloraFileDB");
/// Index on FilePath used by the path look-up.
inline const QString pathIndexName = QStringLiteral("REGPATH");

/// The kind of a field as the index layer checks it.
enum class FieldKind : quint8 { Integer, Timestamp, Text };

struct FieldSpec {
    QString name;
    FieldKind kind;
    int width; ///< bytes for text fields, 0 otherwise
};

/// The eight fields in table order.
const QList<FieldSpec>& fields();

/// Creates an empty index file at \p path with the table, its fields and the path index.
/// Refuses to touch an existing file. On failure returns false with the reason in \p error.
bool createEmptyIndex(const QString& path, QString* error);

} // namespace chartindex
