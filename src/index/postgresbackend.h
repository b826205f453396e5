#pragma once

#include "index/indexbackend.h"

namespace chartindex {

/// The shared index of several workstations: a table on a PostgreSQL server.
class PostgresBackend final : public IndexBackend {
public:
    explicit PostgresBackend(ServerAddress address) : m_address(std::move(address)) {}

    QString describe() const override { return m_address.describe(); }
    QString driverName() const override { return QStringLiteral("QPSQL"); }
    void configure(QSqlDatabase& db, int lockWaitMs, bool createNew) const override;
    bool startSession(QSqlDatabase& db, int lockWaitMs, QString* error) const override;
    bool readFields(QSqlDatabase& db, QHash<QString, QString>* fields,
                    QString* error) const override;
    bool checkWritable(QSqlDatabase& db, QString* error) const override;
    QStringList schemaStatements() const override;
    QStringList trailStatements() const override;
    QStringList pathLookupStatements() const override;
    QString likeCondition(const QString& column) const override;
    QString containsPattern(const QString& typed) const override;
    QString beginWriteStatement() const override;
    bool isBusy(const QSqlError& error) const override;
    bool isConnectionLost(const QSqlError& error) const override;

private:
    ServerAddress m_address;
};

} // namespace chartindex
