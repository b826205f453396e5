#include "index/indexbackend.h"

#include "index/postgresbackend.h"
#include "index/sqlitebackend.h"

namespace chartindex {

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
    return columns.join(QStringLiteral(", "));
}

std::unique_ptr<IndexBackend> makeBackend(const IndexLocation& location) {
    if (location.server) {
        return std::make_unique<PostgresBackend>(*location.server);
    }
    return std::make_unique<SqliteBackend>(location.sqliteFile);
}

} // namespace chartindex
