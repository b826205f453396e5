// SPDX-License-Identifier: GPL-3.0-or-later
// Bringing an index made by an earlier version up to the current schema at its first open,
// in one transaction: the hash and audit tables, the chain of the audit trail with a first
// line for every row and hash already there, and an identity that is never handed out again.

#include "index/chartindex.h"

#include "index/chartindexschema.h"
#include "index/indexbackend.h"

#include <QSet>
#include <QSqlQuery>

using chartindex::Statement;
using chartindex::WriteTransaction;

namespace {

/// Baseline lines per statement.
constexpr size_t BaselineBatchLines = 200;

} // namespace

std::optional<int> ChartIndex::storedSchemaVersion() {
    QSqlDatabase db = m_session->database();
    QHash<QString, QString> columns;
    QString why;
    if (!m_backend->readColumns(db, chartindex::metaTableName, &columns, &why)) {
        fail(why);
        return std::nullopt;
    }
    if (columns.isEmpty()) {
        return 1; // made before the index kept facts of its own
    }
    auto version =
        run({QStringLiteral("SELECT Value FROM %1 WHERE Name = ?").arg(chartindex::metaTableName),
             {chartindex::schemaVersionName}});
    if (!version) {
        return std::nullopt;
    }
    return version->next() ? version->value(0).toInt() : 1;
}

bool ChartIndex::bringUpToDate() {
    const auto version = storedSchemaVersion();
    if (!version) {
        fail(QStringLiteral("%1: the schema version cannot be read: %2")
                 .arg(m_backend->describe(), m_lastError));
        return false;
    }
    if (*version >= chartindex::currentSchemaVersion) {
        return true;
    }
    const QString refusal =
        QStringLiteral("%1: the index was made by an earlier version and could not be brought "
                       "up to date (on a server, its tables' owner must open it once, for "
                       "example with pelorafile-admin upgrade-index)")
            .arg(m_backend->describe());
    WriteTransaction transaction(*m_session);
    m_chainHead.reset();
    if (!transaction.active()) {
        fail(QStringLiteral("%1: %2").arg(refusal, m_session->lastError()));
        return false;
    }
    // Another workstation may have done it while this one waited for the write lock.
    if (const QString lock = m_backend->trailLockStatement(); !lock.isEmpty()) {
        if (!run({lock, {}, true})) {
            fail(QStringLiteral("%1: %2").arg(refusal, m_lastError));
            return false;
        }
    }
    const auto again = storedSchemaVersion();
    if (again && *again >= chartindex::currentSchemaVersion) {
        return transaction.commit();
    }
    QStringList statements = m_backend->trailStatements();
    QSqlDatabase db = m_session->database();
    QHash<QString, QString> auditColumns;
    QString why;
    // The trail's tables are made first when missing; only then can their columns be read.
    for (const QString& statement : statements) {
        if (!run({statement, {}, true})) {
            fail(QStringLiteral("%1: %2").arg(refusal, m_lastError));
            return false;
        }
    }
    if (!m_backend->readColumns(db, chartindex::auditTableName, &auditColumns, &why)) {
        fail(QStringLiteral("%1: %2").arg(refusal, why));
        return false;
    }
    QStringList changes;
    for (const auto& [name, type] : chartindex::auditChainColumns()) {
        if (!auditColumns.contains(name.toLower())) {
            changes << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                           .arg(chartindex::auditTableName, name, type);
        }
    }
    changes += m_backend->lastingIdentityStatements(db);
    for (const QString& statement : changes) {
        if (!run({statement, {}, true})) {
            fail(QStringLiteral("%1: %2").arg(refusal, m_lastError));
            return false;
        }
    }
    if (!writeBaseline()) {
        fail(QStringLiteral("%1: %2").arg(refusal, m_lastError));
        return false;
    }
    for (const QString& statement :
         m_backend->upgradeStatements() +
             m_backend->metaStatements(chartindex::currentSchemaVersion)) {
        if (!run({statement, {}, true})) {
            fail(QStringLiteral("%1: %2").arg(refusal, m_lastError));
            return false;
        }
    }
    if (!transaction.commit()) {
        fail(QStringLiteral("%1: %2").arg(refusal, m_session->lastError()));
        return false;
    }
    return true;
}

bool ChartIndex::writeBaseline() {
    // The chain starts with one line for every row and every hash the index holds, so that
    // replaying the trail gives the tables back from here on.
    auto chained = run({QStringLiteral("SELECT 1 FROM %1 WHERE LineSha256 IS NOT NULL LIMIT 1")
                            .arg(chartindex::auditTableName),
                        {}});
    if (!chained) {
        return false;
    }
    if (chained->next()) {
        return true;
    }
    QHash<QString, QByteArray> hashes;
    auto stored =
        run({QStringLiteral("SELECT FilePath, Sha256 FROM %1").arg(chartindex::hashTableName), {}});
    if (!stored) {
        return false;
    }
    while (stored->next()) {
        hashes.insert(stored->value(0).toString(), stored->value(1).toString().toLatin1());
    }
    std::vector<AuditEntry> batch;
    auto flush = [&] {
        const bool written = appendAudit(batch);
        batch.clear();
        return written;
    };
    // Each page of rows is read whole before the lines of the page are written.
    QSet<QString> hashedPaths;
    IndexCursor rows(this, QString(), {});
    while (auto row = rows.next()) {
        AuditEntry entry;
        entry.action = AuditAction::Baseline;
        entry.pidno = row->pidno;
        entry.subNo = row->subNo;
        entry.filePath = row->filePath;
        entry.newKeys = row->keys;
        entry.rowRef = row->id;
        entry.sha256 = hashes.value(row->filePath);
        if (!entry.sha256.isEmpty()) {
            hashedPaths.insert(row->filePath);
        }
        batch.push_back(std::move(entry));
        if (batch.size() == BaselineBatchLines && !flush()) {
            return false;
        }
    }
    if (rows.failed()) {
        fail(rows.error());
        return false;
    }
    for (auto it = hashes.constBegin(); it != hashes.constEnd(); ++it) {
        if (hashedPaths.contains(it.key())) {
            continue;
        }
        AuditEntry entry;
        entry.action = AuditAction::Baseline;
        entry.filePath = it.key();
        entry.sha256 = it.value();
        batch.push_back(std::move(entry));
        if (batch.size() == BaselineBatchLines && !flush()) {
            return false;
        }
    }
    return flush();
}
