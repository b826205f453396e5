// SPDX-License-Identifier: GPL-3.0-or-later
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
    bool startSession(QSqlDatabase& db, int lockWaitMs, int statementLimitMs,
                      QString* error) const override;
    std::function<void()> interrupter(const QSqlDatabase& db) const override;
    bool readColumns(QSqlDatabase& db, const QString& table, QHash<QString, QString>* columns,
                     QString* error) const override;
    QStringList lastingIdentityStatements(QSqlDatabase& db) const override;
    QString rowAsSeenCondition() const override;
    QString pathRangeCondition() const override {
        // SQLite compares text by its bytes unless told otherwise, as the path index sorts it.
        return QStringLiteral("FilePath >= ? AND FilePath < ?");
    }
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
