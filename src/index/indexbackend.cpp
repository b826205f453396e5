// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/indexbackend.h"

#include "index/chartindexschema.h"
#include "index/postgresbackend.h"
#include "index/sqlitebackend.h"

namespace chartindex {

bool IndexBackend::readFields(QSqlDatabase& db, QHash<QString, QString>* fields,
                              QString* error) const {
    return readColumns(db, tableName, fields, error);
}

QStringList IndexBackend::metaStatements(int version) const {
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (Name TEXT PRIMARY KEY NOT NULL, "
                       "Value TEXT NOT NULL)")
            .arg(metaTableName),
        QStringLiteral("DELETE FROM %1 WHERE Name = '%2'").arg(metaTableName, schemaVersionName),
        QStringLiteral("INSERT INTO %1 (Name, Value) VALUES ('%2', '%3')")
            .arg(metaTableName, schemaVersionName)
            .arg(version),
    };
}

const QList<std::pair<QString, QString>>& auditChainColumns() {
    // Empty in the lines written before the trail was chained.
    static const QList<std::pair<QString, QString>> columns{
        {QStringLiteral("RowRef"), QStringLiteral("BIGINT")},
        {QStringLiteral("SubNo"), QStringLiteral("INTEGER")},
        {QStringLiteral("Sha256"), QStringLiteral("TEXT")},
        {QStringLiteral("PrevSha256"), QStringLiteral("TEXT")},
        {QStringLiteral("LineSha256"), QStringLiteral("TEXT")},
    };
    return columns;
}

QString auditTableColumns(const QString& identity, const QString& timestamp) {
    QStringList columns;
    if (!identity.isEmpty()) {
        columns << identity;
    }
    columns << QStringLiteral("AuditAt %1 NOT NULL").arg(timestamp)
            << QStringLiteral("Host TEXT NOT NULL") << QStringLiteral("OsUser TEXT NOT NULL")
            << QStringLiteral("Action TEXT NOT NULL") << QStringLiteral("Pidno INTEGER NOT NULL")
            << QStringLiteral("FilePath TEXT NOT NULL");
    for (const QString& side : {QStringLiteral("Old"), QStringLiteral("New")}) {
        for (int key = 1; key <= 4; ++key) {
            columns << QStringLiteral("%1Key%2 TEXT NOT NULL DEFAULT ''").arg(side).arg(key);
        }
    }
    for (const auto& [name, type] : auditChainColumns()) {
        columns << QStringLiteral("%1 %2").arg(name, type);
    }
    return columns.join(QStringLiteral(", "));
}

std::unique_ptr<IndexBackend> makeBackend(const IndexLocation& location) {
    if (location.server) {
        return std::make_unique<PostgresBackend>(*location.server);
    }
    return std::make_unique<SqliteBackend>(location.sqliteFile);
}

} // namespace chartindex
