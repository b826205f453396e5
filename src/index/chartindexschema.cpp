// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/chartindexschema.h"

#include "index/indexbackend.h"

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

const QStringList& keyFieldNames() {
    static const QStringList names{QStringLiteral("Key1"), QStringLiteral("Key2"),
                                   QStringLiteral("Key3"), QStringLiteral("Key4")};
    return names;
}

namespace {

/// A connection of its own for building a schema, removed when it goes out of scope.
class SchemaConnection {
public:
    SchemaConnection(const IndexBackend& backend)
        : m_name(QStringLiteral("create-index-%1").arg(QUuid::createUuid().toString())) {
        QSqlDatabase db = QSqlDatabase::addDatabase(backend.driverName(), m_name);
        backend.configure(db, 0, true);
    }
    ~SchemaConnection() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    SchemaConnection(const SchemaConnection&) = delete;
    SchemaConnection& operator=(const SchemaConnection&) = delete;
    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
};

CreateResult buildSchema(const IndexBackend& backend, QString* error) {
    SchemaConnection connection(backend);
    QSqlDatabase db = connection.database();
    if (!db.isValid()) {
        *error = QStringLiteral("the Qt SQL driver %1 is not installed").arg(backend.driverName());
        return CreateResult::Failed;
    }
    if (!db.open()) {
        *error = QStringLiteral("%1: %2").arg(backend.describe(), db.lastError().text());
        return CreateResult::Failed;
    }
    QHash<QString, QString> existing;
    QString why;
    if (!backend.readFields(db, &existing, &why)) {
        *error = QStringLiteral("%1: %2").arg(backend.describe(), why);
        return CreateResult::Failed;
    }
    if (!existing.isEmpty()) {
        *error = QStringLiteral("%1 already holds the table %2; it is left as it is")
                     .arg(backend.describe(), tableName);
        return CreateResult::AlreadyExists;
    }
    QSqlQuery query(db);
    // All or nothing: a half-made schema would pass for an index on the next try.
    QStringList statements = backend.schemaStatements();
    statements.prepend(backend.beginWriteStatement());
    statements.append(QStringLiteral("COMMIT"));
    for (const auto& statement : statements) {
        if (!query.exec(statement)) {
            *error = QStringLiteral("%1: %2: %3")
                         .arg(backend.describe(), statement, query.lastError().text());
            query.exec(QStringLiteral("ROLLBACK"));
            return CreateResult::Failed;
        }
    }
    return CreateResult::Created;
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
    if (buildSchema(*makeBackend(IndexLocation{temporary, std::nullopt}), &why) !=
        CreateResult::Created) {
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

CreateResult createIndex(const IndexLocation& location, QString* error) {
    QString ignored;
    QString& why = error ? *error : ignored;
    if (!location.server) {
        if (QFileInfo::exists(location.sqliteFile)) {
            why = QStringLiteral("%1 already exists; it is left as it is").arg(location.sqliteFile);
            return CreateResult::AlreadyExists;
        }
        return createEmptyIndex(location.sqliteFile, &why) ? CreateResult::Created
                                                           : CreateResult::Failed;
    }
    return buildSchema(*makeBackend(location), &why);
}

} // namespace chartindex
