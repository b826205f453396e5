// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/sqlitebackend.h"

#include "index/chartindexschema.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QUrl>
#include <sqlite3.h>
#include <unistd.h>

namespace chartindex {

namespace {

// SQLite's result codes, as Qt's driver reports them in nativeErrorCode().
const QString SqliteBusy = QStringLiteral("5");
const QString SqliteLocked = QStringLiteral("6");
const QString SqliteReadOnly = QStringLiteral("8");

} // namespace

void SqliteBackend::configure(QSqlDatabase& db, int lockWaitMs, bool createNew) const {
    // mode=rw opens an existing file only: a missing index must never be created empty.
    QUrl uri = QUrl::fromLocalFile(m_path);
    uri.setQuery(createNew ? QStringLiteral("mode=rwc") : QStringLiteral("mode=rw"));
    db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(lockWaitMs));
}

bool SqliteBackend::startSession(QSqlDatabase&, int, int, QString*) const {
    // A file has no server to time statements: the session's watchdog interrupts them.
    return true;
}

std::function<void()> SqliteBackend::interrupter(const QSqlDatabase& db) const {
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return {};
    }
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData());
    // sqlite3_interrupt may be called from any thread while the connection is open.
    return [connection] { sqlite3_interrupt(connection); };
}

bool SqliteBackend::readColumns(QSqlDatabase& db, const QString& table,
                                QHash<QString, QString>* columns, QString* error) const {
    QSqlQuery info(db);
    if (!info.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table))) {
        *error = info.lastError().text();
        return false;
    }
    while (info.next()) {
        columns->insert(info.value(1).toString().toLower(), info.value(2).toString().toUpper());
    }
    return true;
}

QStringList SqliteBackend::lastingIdentityStatements(QSqlDatabase& db) const {
    QSqlQuery definition(db);
    definition.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND "
                                      "name = ? COLLATE NOCASE"));
    definition.addBindValue(tableName);
    if (!definition.exec() || !definition.next() ||
        definition.value(0).toString().contains(QLatin1String("AUTOINCREMENT"),
                                                Qt::CaseInsensitive)) {
        return {};
    }
    // Without AUTOINCREMENT SQLite hands the highest identity out again once its row is
    // deleted, and a window that still shows the deleted row would address the new one. The
    // table is built again with an identity column that never goes back, every column as it
    // was declared (a column of another tool's included) and every row keeping its identity.
    QSqlQuery info(db);
    if (!info.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(tableName))) {
        return {};
    }
    QStringList declared{QStringLiteral("RowId INTEGER PRIMARY KEY AUTOINCREMENT")};
    QStringList names;
    while (info.next()) {
        const QString name = info.value(1).toString();
        QString column = QStringLiteral("\"%1\" %2").arg(name, info.value(2).toString());
        if (info.value(3).toInt() != 0) {
            column += QStringLiteral(" NOT NULL");
        }
        if (!info.value(4).isNull()) {
            column += QStringLiteral(" DEFAULT %1").arg(info.value(4).toString());
        }
        declared << column;
        names << QStringLiteral("\"%1\"").arg(name);
    }
    const QString rebuilt = tableName + QStringLiteral("_lasting");
    const QString columnList = names.join(QStringLiteral(", "));
    return {
        QStringLiteral("CREATE TABLE %1 (%2)").arg(rebuilt, declared.join(QStringLiteral(", "))),
        QStringLiteral("INSERT INTO %1 (RowId, %2) SELECT rowid, %2 FROM %3 ORDER BY rowid")
            .arg(rebuilt, columnList, tableName),
        QStringLiteral("DROP TABLE %1").arg(tableName),
        QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(rebuilt, tableName),
        QStringLiteral("CREATE INDEX %1 ON %2 (FilePath)").arg(pathIndexName, tableName),
        QStringLiteral("CREATE INDEX %1 ON %2 (Pidno)").arg(patientIndexName, tableName),
    };
}

bool SqliteBackend::checkWritable(QSqlDatabase& db, QString* error) const {
    // SQLite quietly opens a file it cannot write read-only, and its journal needs the folder:
    // both must be writable, or the first insert would fail after the chart is written.
    const QByteArray file = QFile::encodeName(m_path);
    const QByteArray folder = QFile::encodeName(QFileInfo(m_path).absolutePath());
    if (::access(file.constData(), W_OK) != 0) {
        *error = QStringLiteral("this user cannot write the index file");
        return false;
    }
    if (::access(folder.constData(), W_OK) != 0) {
        *error = QStringLiteral("this user cannot write in the folder of the index file");
        return false;
    }
    // A read-only file system or a file SQLite itself opened read-only refuses a write
    // transaction; a lock held by another workstation only makes it busy, which is fine here.
    QSqlQuery probe(db);
    probe.exec(QStringLiteral("PRAGMA busy_timeout"));
    const int lockWaitMs = probe.next() ? probe.value(0).toInt() : 0;
    probe.exec(QStringLiteral("PRAGMA busy_timeout = 0"));
    const bool began = probe.exec(QStringLiteral("BEGIN IMMEDIATE"));
    const QSqlError failure = probe.lastError();
    if (began) {
        probe.exec(QStringLiteral("ROLLBACK"));
    }
    probe.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(lockWaitMs));
    if (began) {
        return true;
    }
    if (isBusy(failure)) {
        return true;
    }
    *error = failure.nativeErrorCode() == SqliteReadOnly
                 ? QStringLiteral("the index cannot be written: %1").arg(failure.text())
                 : failure.text();
    return false;
}

QStringList SqliteBackend::schemaStatements() const {
    QStringList columns;
    for (const auto& field : fields()) {
        switch (field.kind) {
        case FieldKind::Integer:
            columns << QStringLiteral("%1 INTEGER NOT NULL").arg(field.name);
            break;
        case FieldKind::Timestamp:
            columns << QStringLiteral("%1 TIMESTAMP NOT NULL").arg(field.name);
            break;
        case FieldKind::Text:
            columns << QStringLiteral("%1 VARCHAR(%2) NOT NULL DEFAULT ''")
                           .arg(field.name)
                           .arg(field.width);
            break;
        }
    }
    // No key on the fields: a chart saved again under the same patient and serial number
    // (allowed when overwriting is on) gets a row of its own, as does a re-registered file.
    // The identity of a row is never handed out again, not even after the highest row was
    // deleted, so an identity held by a window can never name another chart's row.
    columns.prepend(QStringLiteral("RowId INTEGER PRIMARY KEY AUTOINCREMENT"));
    QStringList statements{
        QStringLiteral("CREATE TABLE %1 (%2)").arg(tableName, columns.join(QStringLiteral(", "))),
        QStringLiteral("CREATE INDEX %1 ON %2 (FilePath)").arg(pathIndexName, tableName),
        QStringLiteral("CREATE INDEX %1 ON %2 (Pidno)").arg(patientIndexName, tableName),
    };
    return statements + trailStatements() + metaStatements(currentSchemaVersion);
}

QStringList SqliteBackend::trailStatements() const {
    const QString refusal =
        QStringLiteral("BEGIN SELECT RAISE(ABORT, 'the audit trail is append-only'); END");
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (FilePath TEXT PRIMARY KEY NOT NULL, "
                       "Sha256 TEXT NOT NULL, HashedAt TIMESTAMP NOT NULL)")
            .arg(hashTableName),
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
            .arg(auditTableName, auditTableColumns(QString(), QStringLiteral("TIMESTAMP"))),
        QStringLiteral("CREATE INDEX IF NOT EXISTS AUDITPIDNO ON %1 (Pidno)").arg(auditTableName),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS ChartAuditNoUpdate BEFORE UPDATE ON %1 %2")
            .arg(auditTableName, refusal),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS ChartAuditNoDelete BEFORE DELETE ON %1 %2")
            .arg(auditTableName, refusal),
    };
}

QString SqliteBackend::rowAsSeenCondition() const {
    // IS compares like =, and also holds between two NULLs, which another tool may have left.
    return QStringLiteral("Pidno IS ? AND SubNo IS ? AND FilePath IS ? AND Key1 IS ? AND "
                          "Key2 IS ? AND Key3 IS ? AND Key4 IS ?");
}

QStringList SqliteBackend::pathLookupStatements() const {
    return {
        QStringLiteral("SELECT 1 FROM %1 INDEXED BY %2 WHERE FilePath = ? LIMIT 1")
            .arg(tableName, pathIndexName),
        QStringLiteral("SELECT 1 FROM %1 WHERE FilePath = ? LIMIT 1").arg(tableName),
    };
}

QString SqliteBackend::likeCondition(const QString& column) const {
    return QStringLiteral("%1 LIKE ?").arg(column);
}

QString SqliteBackend::containsPattern(const QString& typed) const {
    return QLatin1Char('%') + typed + QLatin1Char('%');
}

QString SqliteBackend::beginWriteStatement() const {
    // Taking the write lock at the start turns a later lock upgrade, which SQLite cannot wait
    // for, into a wait at BEGIN.
    return QStringLiteral("BEGIN IMMEDIATE");
}

bool SqliteBackend::isBusy(const QSqlError& error) const {
    return error.nativeErrorCode() == SqliteBusy || error.nativeErrorCode() == SqliteLocked;
}

} // namespace chartindex
