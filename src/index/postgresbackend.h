// SPDX-License-Identifier: GPL-3.0-or-later
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
    bool startSession(QSqlDatabase& db, int lockWaitMs, int statementLimitMs,
                      QString* error) const override;
    std::function<void()> interrupter(const QSqlDatabase& db) const override;
    bool readColumns(QSqlDatabase& db, const QString& table, QHash<QString, QString>* columns,
                     QString* error) const override;
    QStringList lastingIdentityStatements(QSqlDatabase&) const override { return {}; }
    QString trailLockStatement() const override;
    QStringList upgradeStatements() const override;
    QString identityOverrideClause() const override {
        return QStringLiteral("OVERRIDING SYSTEM VALUE");
    }
    QString rowAsSeenCondition() const override;
    QString pathRangeCondition() const override {
        // The server's own collation may sort "/" anywhere; the byte order is the path index
        // REGPATHC's.
        return QStringLiteral("FilePath COLLATE \"C\" >= ? AND FilePath COLLATE \"C\" < ?");
    }
    QStringList identityCatchUpStatements() const override;
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
    static QStringList grantStatements();
    static QString bytePathIndexStatement();
    ServerAddress m_address;
};

} // namespace chartindex
