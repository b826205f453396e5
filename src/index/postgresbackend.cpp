// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/postgresbackend.h"

#include "index/chartindexschema.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>
#include <libpq-fe.h>
#include <sys/socket.h>

namespace chartindex {

namespace {

/// The letters SQLite's LIKE treats alike in either case; no other character is folded.
const QString AsciiUpper = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
const QString AsciiLower = QStringLiteral("abcdefghijklmnopqrstuvwxyz");

/// \p column with its ASCII capitals made small. The trigram indexes are built on this very
/// expression, so a search on it can use them.
QString asciiFolded(const QString& column) {
    return QStringLiteral("translate(%1, '%2', '%3')").arg(column, AsciiUpper, AsciiLower);
}

/// How long the server may take to answer a new connection.
constexpr int ConnectTimeoutSeconds = 5;

/// TCP keepalives find a server whose machine went away while a statement waits for it.
constexpr int KeepaliveIdleSeconds = 10;
constexpr int KeepaliveIntervalSeconds = 3;
constexpr int KeepaliveCount = 3;

/// The key of the lock that makes writers append to the audit trail one at a time.
constexpr int TrailLockKey = 0x50465452;

} // namespace

void PostgresBackend::configure(QSqlDatabase& db, int, bool) const {
    db.setHostName(m_address.host);
    db.setPort(m_address.port);
    db.setDatabaseName(m_address.database);
    db.setUserName(m_address.user);
    // No password here: libpq reads its password file or PGPASSWORD itself.
    db.setConnectOptions(
        QStringLiteral("connect_timeout=%1;application_name=pelorafile;keepalives=1;"
                       "keepalives_idle=%2;keepalives_interval=%3;keepalives_count=%4")
            .arg(ConnectTimeoutSeconds)
            .arg(KeepaliveIdleSeconds)
            .arg(KeepaliveIntervalSeconds)
            .arg(KeepaliveCount));
}

bool PostgresBackend::startSession(QSqlDatabase& db, int lockWaitMs, int statementLimitMs,
                                   QString* error) const {
    QSqlQuery session(db);
    // A statement that waits longer for a lock fails as busy, and the caller decides whether
    // to try again; the server itself would wait for ever. The server also ends a statement
    // that runs past the session's limit, which frees it at once; one that stopped answering
    // altogether is abandoned by the session's own watchdog.
    if (!session.exec(QStringLiteral("SET lock_timeout = %1").arg(lockWaitMs)) ||
        !session.exec(QStringLiteral("SET statement_timeout = %1").arg(statementLimitMs)) ||
        !session.exec(QStringLiteral("SET client_encoding = 'UTF8'"))) {
        *error = session.lastError().text();
        return false;
    }
    return true;
}

std::function<void()> PostgresBackend::interrupter(const QSqlDatabase& db) const {
    const QVariant handle = db.driver()->handle();
    // Qt names the type by the compiler's spelling of it: the struct behind the typedef.
    if (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0) {
        return {};
    }
    PGconn* connection = *static_cast<PGconn* const*>(handle.constData());
    const int socket = PQsocket(connection);
    if (socket < 0) {
        return {};
    }
    // A cancel request would need an answer from the server, which may be the one that stopped
    // answering: shutting the socket down ends the wait at once, whatever the server does. The
    // connection is lost with it and made again for the next statement.
    return [socket] { ::shutdown(socket, SHUT_RDWR); };
}

bool PostgresBackend::readColumns(QSqlDatabase& db, const QString& table,
                                  QHash<QString, QString>* columns, QString* error) const {
    QSqlQuery info(db);
    info.prepare(QStringLiteral("SELECT column_name, data_type FROM information_schema.columns "
                                "WHERE table_schema = current_schema() AND table_name = ?"));
    // Unquoted names fold to lower case on this server: the table was created as peloradb.
    info.addBindValue(table.toLower());
    if (!info.exec()) {
        *error = info.lastError().text();
        return false;
    }
    while (info.next()) {
        columns->insert(info.value(0).toString().toLower(), info.value(1).toString().toUpper());
    }
    return true;
}

QString PostgresBackend::rowAsSeenCondition() const {
    QStringList same;
    for (const QString& column :
         {QStringLiteral("Pidno"), QStringLiteral("SubNo"), QStringLiteral("FilePath"),
          QStringLiteral("Key1"), QStringLiteral("Key2"), QStringLiteral("Key3"),
          QStringLiteral("Key4")}) {
        same << QStringLiteral("%1 IS NOT DISTINCT FROM ?").arg(column);
    }
    return same.join(QStringLiteral(" AND "));
}

QStringList PostgresBackend::identityCatchUpStatements() const {
    return {QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), "
                           "(SELECT COALESCE(max(%2), 0) + 1 FROM %1), false)")
                .arg(tableName.toLower(), identityColumn)};
}

QString PostgresBackend::bytePathIndexStatement() {
    return QStringLiteral("CREATE INDEX IF NOT EXISTS %1C ON %2 (FilePath COLLATE \"C\")")
        .arg(pathIndexName, tableName);
}

QStringList PostgresBackend::upgradeStatements() const {
    return QStringList{bytePathIndexStatement()} + grantStatements();
}

QString PostgresBackend::trailLockStatement() const {
    // Held to the end of the transaction: the next writer reads the line this one appends.
    return QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(TrailLockKey);
}

bool PostgresBackend::checkWritable(QSqlDatabase& db, QString* error) const {
    // Every table a change writes, with what it does there: a save that found out only at its
    // row that it may not write the trail would leave a chart without a row.
    const QList<std::pair<QString, QStringList>> needed{
        {tableName, {"SELECT", "INSERT", "UPDATE", "DELETE"}},
        {hashTableName, {"SELECT", "INSERT", "UPDATE"}},
        {auditTableName, {"SELECT", "INSERT"}},
    };
    for (const auto& [table, privileges] : needed) {
        for (const QString& privilege : privileges) {
            QSqlQuery granted(db);
            granted.prepare(QStringLiteral("SELECT has_table_privilege(?, ?)"));
            granted.addBindValue(table.toLower());
            granted.addBindValue(privilege);
            if (!granted.exec() || !granted.next()) {
                *error = granted.lastError().text();
                return false;
            }
            if (!granted.value(0).toBool()) {
                *error = QStringLiteral("the user %1 lacks the right %2 on the table %3")
                             .arg(m_address.user, privilege, table);
                return false;
            }
        }
    }
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT current_setting('transaction_read_only') = 'on' OR "
                                   "pg_is_in_recovery()")) ||
        !probe.next()) {
        *error = probe.lastError().text();
        return false;
    }
    if (probe.value(0).toBool()) {
        *error = QStringLiteral("the server accepts no writes (read-only or a standby)");
        return false;
    }
    return true;
}

QStringList PostgresBackend::schemaStatements() const {
    QStringList columns{
        QStringLiteral("%1 BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY").arg(identityColumn)};
    for (const auto& field : fields()) {
        switch (field.kind) {
        case FieldKind::Integer:
            columns << QStringLiteral("%1 INTEGER NOT NULL").arg(field.name);
            break;
        case FieldKind::Timestamp:
            columns << QStringLiteral("%1 TIMESTAMP(3) NOT NULL").arg(field.name);
            break;
        case FieldKind::Text:
            // Keywords are cut to 50 bytes before they get here. A path is never cut or
            // checked, and SQLite never enforced a width, so the path has none either.
            columns << (field.name == u"FilePath"
                            ? QStringLiteral("%1 TEXT NOT NULL DEFAULT ''").arg(field.name)
                            : QStringLiteral("%1 VARCHAR(%2) NOT NULL DEFAULT ''")
                                  .arg(field.name)
                                  .arg(field.width));
            break;
        }
    }
    QStringList statements{
        QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"),
        QStringLiteral("CREATE TABLE %1 (%2)").arg(tableName, columns.join(QStringLiteral(", "))),
        QStringLiteral("CREATE INDEX %1 ON %2 (FilePath)").arg(pathIndexName, tableName),
        QStringLiteral("CREATE INDEX %1 ON %2 (Pidno)").arg(patientIndexName, tableName),
        bytePathIndexStatement(),
    };
    for (const QString& key : keyFieldNames()) {
        statements << QStringLiteral("CREATE INDEX %1TRGM ON %2 USING gin (%3 gin_trgm_ops)")
                          .arg(key.toUpper(), tableName, asciiFolded(key));
    }
    return statements + trailStatements() + metaStatements(currentSchemaVersion) +
           grantStatements();
}

QStringList PostgresBackend::grantStatements() {
    // The role that runs create-index owns the tables; the workstations connect as another and
    // get through PUBLIC exactly what a save, the windows and the companions do: nothing that
    // deletes or changes an audit line or disables its guard, which only the owner could.
    return {
        QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON %1 TO PUBLIC").arg(tableName),
        QStringLiteral("GRANT SELECT ON %1 TO PUBLIC").arg(metaTableName),
    };
}

QStringList PostgresBackend::trailStatements() const {
    // The guard holds for every role, the tables' owner included; the grants say the same
    // to a role an administrator adds for the workstations.
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (FilePath TEXT PRIMARY KEY, "
                       "Sha256 TEXT NOT NULL, HashedAt TIMESTAMP(3) NOT NULL)")
            .arg(hashTableName),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
            .arg(auditTableName,
                 auditTableColumns(
                     QStringLiteral("%1 BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY")
                         .arg(identityColumn),
                     QStringLiteral("TIMESTAMP(3)"))),
        QStringLiteral("CREATE INDEX IF NOT EXISTS AUDITPIDNO ON %1 (Pidno)").arg(auditTableName),
        QStringLiteral("CREATE OR REPLACE FUNCTION chartaudit_append_only() RETURNS trigger "
                       "LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'the audit trail is "
                       "append-only'; END $$"),
        QStringLiteral("CREATE OR REPLACE TRIGGER ChartAuditAppendOnly BEFORE UPDATE OR DELETE ON "
                       "%1 FOR EACH ROW EXECUTE FUNCTION chartaudit_append_only()")
            .arg(auditTableName),
        QStringLiteral("CREATE OR REPLACE TRIGGER ChartAuditNoTruncate BEFORE TRUNCATE ON %1 "
                       "FOR EACH STATEMENT EXECUTE FUNCTION chartaudit_append_only()")
            .arg(auditTableName),
        QStringLiteral("REVOKE UPDATE, DELETE, TRUNCATE ON %1 FROM PUBLIC").arg(auditTableName),
        QStringLiteral("GRANT SELECT, INSERT ON %1 TO PUBLIC").arg(auditTableName),
        QStringLiteral("GRANT SELECT, INSERT, UPDATE ON %1 TO PUBLIC").arg(hashTableName),
    };
}

QStringList PostgresBackend::pathLookupStatements() const {
    return {QStringLiteral("SELECT 1 FROM %1 WHERE FilePath = ? LIMIT 1").arg(tableName)};
}

QString PostgresBackend::likeCondition(const QString& column) const {
    return QStringLiteral("%1 LIKE %2").arg(asciiFolded(column), asciiFolded(QStringLiteral("?")));
}

QString PostgresBackend::containsPattern(const QString& typed) const {
    // The server's LIKE takes a backslash as its escape character, SQLite's has none: a
    // doubled backslash stands for the character itself.
    QString pattern = typed;
    pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('%') + pattern + QLatin1Char('%');
}

QString PostgresBackend::beginWriteStatement() const {
    return QStringLiteral("BEGIN");
}

bool PostgresBackend::isBusy(const QSqlError& error) const {
    const QString code = error.nativeErrorCode();
    // lock_not_available (lock_timeout ran out), serialization_failure, deadlock_detected
    return code == u"55P03" || code == u"40001" || code == u"40P01";
}

bool PostgresBackend::isConnectionLost(const QSqlError& error) const {
    if (error.type() == QSqlError::ConnectionError) {
        return true;
    }
    const QString code = error.nativeErrorCode();
    // Class 08 (connection exception) and 57P (the server shut down or ended the session); no
    // code at all means no answer came from the server.
    return code.isEmpty() || code.startsWith(QLatin1String("08")) ||
           code.startsWith(QLatin1String("57P"));
}

} // namespace chartindex
