#pragma once

#include "index/indexbackend.h"

namespace chartindex {

/// The embedded default: one SQLite file in the program folder.
class SqliteBackend final : public IndexBackend {
public:
    explicit SqliteBackend(QString path) : m_path(std::move(path)) {}

    QString describe() const override { return m_path; }
    QString driverName() const override { return QStringLiteral("QSQLITE"); }
    void configure(QSqlDatabase& db, int lockWaitMs, bool createNew) const override;
    bool startSession(QSqlDatabase& db, int lockWaitMs, QString* error) const override;
    bool readFields(QSqlDatabase& db, QHash<QString, QString>* fields,
                    QString* error) const override;
    bool checkWritable(QSqlDatabase& db, QString* error) const override;
    QStringList schemaStatements() const override;
    QStringList trailStatements() const override;
    bool createsFile() const override { return true; }
    QStringList pathLookupStatements() const override;
    QString likeCondition(const QString& column) const override;
    QString containsPattern(const QString& typed) const override;
    QString beginWriteStatement() const override;
    bool isBusy(const QSqlError& error) const override;
    bool isConnectionLost(const QSqlError&) const override { return false; }

private:
    QString m_path;
};

} // namespace chartindex
