#include "index/chartindexschema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace chartindex {

const QList<FieldSpec>& fields() {
    static const QList<FieldSpec> list{
        {QStringLiteral("Pidno"), FieldKind::Integer, 0},
        {QStringLiteral("SubNo"), FieldKind::Integer, 0},
        {QStringLiteral("CreateDateTime"), FieldKind::Timestamp, 0},
        {QStringLiteral("FilePath"), FieldKind::Text, 255},
        {QStringLiteral("Key1"), FieldKind::Text, 50},
        {QStringLiteral("Key2"), FieldKind::Text, 50},
        {QStringLiteral("Key3"), FieldKind::Text, 50},
        {QStringLiteral("Key4"), FieldKind::Text, 50},
    };
    return list;
}

namespace {

QString createTableStatement() {
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
    // No primary key: a chart saved again under the same patient and serial number (allowed when
    // overwriting is on) gets a row of its own, as does a re-registered file.
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(tableName, columns.join(QStringLiteral(", ")));
}

/// Builds the schema in a fresh SQLite file; the connection is closed before returning.
bool buildSchema(const QString& path, QString* error) {
    const QString connection =
        QStringLiteral("create-index-%1").arg(QUuid::createUuid().toString());
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open()) {
            *error = QStringLiteral("%1: %2").arg(path, db.lastError().text());
        } else {
            QSqlQuery query(db);
            const QStringList statements{
                createTableStatement(),
                QStringLiteral("CREATE INDEX %1 ON %2 (FilePath)").arg(pathIndexName, tableName),
            };
            ok = true;
            for (const auto& statement : statements) {
                if (!query.exec(statement)) {
                    *error = QStringLiteral("%1: %2").arg(path, query.lastError().text());
                    ok = false;
                    break;
                }
            }
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return ok;
}

} // namespace

bool createEmptyIndex(const QString& path, QString* error) {
    QString ignored;
    QString& why = error ? *error : ignored;
    const QFileInfo target(path);
    if (target.exists()) {
        why = QStringLiteral("%1 already exists; it is left as it is").arg(path);
        return false;
    }
    if (!target.absoluteDir().exists()) {
        why = QStringLiteral("%1: the folder does not exist").arg(target.absolutePath());
        return false;
    }
    // Built under a temporary name and renamed at the end, so a failure never leaves a
    // half-made index under the real name.
    const QString temporary = target.absoluteDir().filePath(
        QStringLiteral(".%1.%2.tmp")
            .arg(target.fileName(), QUuid::createUuid().toString(QUuid::Id128)));
    if (!buildSchema(temporary, &why)) {
        QFile::remove(temporary);
        return false;
    }
    if (!QFile::rename(temporary, path)) {
        why = QStringLiteral("%1: cannot be created (it may have appeared meanwhile)").arg(path);
        QFile::remove(temporary);
        return false;
    }
    return true;
}

} // namespace chartindex
