// SPDX-License-Identifier: GPL-3.0-or-later
// The record API: every change of the index as one transaction that writes the row, its hash
// and its audit line, or nothing.

#include "index/chartindex.h"

#include "index/chartindexschema.h"
#include "index/indexbackend.h"
#include "platform/cp932qt.h"

#include <QSqlQuery>

using chartindex::ChangeResult;
using chartindex::ChangeStatus;
using chartindex::Statement;
using chartindex::WriteTransaction;

namespace {

/// Rows per statement when rows are added in bulk.
constexpr int BulkBatchRows = 200;

const QString InsertColumns =
    QStringLiteral("Pidno, SubNo, CreateDateTime, FilePath, Key1, Key2, Key3, Key4");

ChartIndex::Keywords cutKeys(const ChartIndex::Keywords& keys) {
    ChartIndex::Keywords stored;
    for (size_t n = 0; n < keys.size(); ++n) {
        stored.at(n) = cp932::qTruncate(keys.at(n), ChartIndex::KeyBytes);
    }
    return stored;
}

} // namespace

ChangeResult ChartIndex::failed(const QString& what) {
    ChangeResult result;
    result.status = ChangeStatus::Failed;
    result.error = QStringLiteral("%1: %2").arg(what, m_lastError);
    fail(result.error);
    return result;
}

ChangeResult ChartIndex::insertChart(const ChartRow& row, const std::function<void()>& waiting) {
    if (m_insertsClosed) {
        fail(QStringLiteral("the chart index is closed to new rows after a failed insert"));
        return failed(QStringLiteral("the chart row for %1 was not added").arg(row.filePath));
    }
    ChangeResult result = addChart(row, AuditAction::Insert, waiting);
    if (!result) {
        // The row is lost for this run: no later save adds one until the program restarts,
        // and the chart is filed by the registration check.
        m_insertsClosed = true;
    }
    return result;
}

ChangeResult ChartIndex::registerChart(const ChartRow& row) {
    return addChart(row, AuditAction::Register, {});
}

std::optional<qint64> ChartIndex::insertRow(const ChartRow& row, const QDateTime& createdAt,
                                            std::optional<qint64> identity,
                                            const std::function<void()>& waiting) {
    Statement insert{
        identity ? QStringLiteral("INSERT INTO %1 (%2, %3) %4 VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
                                  "RETURNING %2")
                       .arg(chartindex::tableName, chartindex::identityColumn, InsertColumns,
                            m_backend->identityOverrideClause())
                 : QStringLiteral("INSERT INTO %1 (%2) VALUES (?, ?, ?, ?, ?, ?, ?, ?) "
                                  "RETURNING %3")
                       .arg(chartindex::tableName, InsertColumns, chartindex::identityColumn),
        {},
        true};
    if (identity) {
        insert.values << *identity;
    }
    insert.values << row.pidno << row.subNo << timestampText(createdAt) << row.filePath;
    for (const QString& key : row.keys) {
        insert.values << key;
    }
    auto inserted = run(insert, waiting);
    if (!inserted || !inserted->next()) {
        if (inserted) {
            fail(QStringLiteral("the database gave no identity for the new row"));
        }
        return std::nullopt;
    }
    return inserted->value(0).toLongLong();
}

ChangeResult ChartIndex::addChart(const ChartRow& given, AuditAction action,
                                  const std::function<void()>& waiting) {
    const QString what = QStringLiteral("the chart row for %1 was not added").arg(given.filePath);
    if (!m_open || m_readOnly) {
        fail(QStringLiteral("the chart index is not open for changes"));
        return failed(what);
    }
    ChartRow row = given;
    row.keys = cutKeys(given.keys);
    WriteTransaction transaction(*m_session, waiting);
    m_chainHead.reset();
    if (!transaction.active()) {
        fail(m_session->lastError());
        return failed(what);
    }
    const QDateTime now = m_clock();
    const auto id = insertRow(row, now, std::nullopt, waiting);
    if (!id || (!row.sha256.isEmpty() && !storeHash(row.filePath, row.sha256))) {
        return failed(what);
    }
    AuditEntry entry;
    entry.action = action;
    entry.pidno = row.pidno;
    entry.subNo = row.subNo;
    entry.filePath = row.filePath;
    entry.newKeys = row.keys;
    entry.rowRef = *id;
    entry.sha256 = row.sha256;
    entry.at = now;
    if (!appendAudit({entry}) || !transaction.commit()) {
        fail(m_session->lastError().isEmpty() ? m_lastError : m_session->lastError());
        return failed(what);
    }
    ChangeResult result;
    result.status = ChangeStatus::Done;
    result.row = StoredRow{*id, row.pidno, row.subNo, now, row.filePath, row.keys};
    return result;
}

ChangeResult ChartIndex::stillAsSeen(const StoredRow& seen) {
    ChangeResult result;
    auto now = rowById(seen.id);
    if (!now && !m_lastError.isEmpty()) {
        result.error = m_lastError;
        return result; // Failed
    }
    result.row = now;
    const bool same = now && now->pidno == seen.pidno && now->subNo == seen.subNo &&
                      now->filePath == seen.filePath && now->keys == seen.keys;
    result.status = same ? ChangeStatus::Done : ChangeStatus::Conflict;
    return result;
}

ChangeResult ChartIndex::editKeywords(const StoredRow& seen, const Keywords& keys) {
    const QString what = QStringLiteral("the keyword change of row %1 failed").arg(seen.id);
    if (!m_open || m_readOnly) {
        fail(QStringLiteral("the chart index is not open for changes"));
        return failed(what);
    }
    const Keywords stored = cutKeys(keys);
    WriteTransaction transaction(*m_session);
    m_chainHead.reset();
    if (!transaction.active()) {
        fail(m_session->lastError());
        return failed(what);
    }
    // One statement both checks that the row is still what the window showed and changes it,
    // so no other writer can come between the two.
    Statement update{QStringLiteral("UPDATE %1 SET Key1 = ?, Key2 = ?, Key3 = ?, Key4 = ? "
                                    "WHERE %2 = ? AND %3")
                         .arg(chartindex::tableName, chartindex::identityColumn,
                              m_backend->rowAsSeenCondition()),
                     {},
                     true};
    for (const QString& key : stored) {
        update.values << key;
    }
    update.values << seen.id << seen.pidno << seen.subNo << seen.filePath;
    for (const QString& key : seen.keys) {
        update.values << key;
    }
    auto changed = run(update);
    if (!changed) {
        return failed(what);
    }
    if (changed->numRowsAffected() != 1) {
        ChangeResult conflict = stillAsSeen(seen);
        if (conflict.status == ChangeStatus::Failed) {
            return failed(what);
        }
        conflict.status = ChangeStatus::Conflict;
        return conflict;
    }
    AuditEntry entry;
    entry.action = AuditAction::EditKeywords;
    entry.pidno = seen.pidno;
    entry.subNo = seen.subNo;
    entry.filePath = seen.filePath;
    entry.oldKeys = seen.keys;
    entry.newKeys = stored;
    entry.rowRef = seen.id;
    if (!appendAudit({entry}) || !transaction.commit()) {
        return failed(what);
    }
    ChangeResult result;
    result.status = ChangeStatus::Done;
    result.row = seen;
    result.row->keys = stored;
    return result;
}

ChangeResult ChartIndex::deleteChart(const StoredRow& seen) {
    const QString what = QStringLiteral("the deletion of row %1 failed").arg(seen.id);
    if (!m_open || m_readOnly) {
        fail(QStringLiteral("the chart index is not open for changes"));
        return failed(what);
    }
    WriteTransaction transaction(*m_session);
    m_chainHead.reset();
    if (!transaction.active()) {
        fail(m_session->lastError());
        return failed(what);
    }
    Statement removal{QStringLiteral("DELETE FROM %1 WHERE %2 = ? AND %3")
                          .arg(chartindex::tableName, chartindex::identityColumn,
                               m_backend->rowAsSeenCondition()),
                      {seen.id, seen.pidno, seen.subNo, seen.filePath},
                      true};
    for (const QString& key : seen.keys) {
        removal.values << key;
    }
    auto removed = run(removal);
    if (!removed) {
        return failed(what);
    }
    if (removed->numRowsAffected() != 1) {
        ChangeResult conflict = stillAsSeen(seen);
        if (conflict.status == ChangeStatus::Failed) {
            return failed(what);
        }
        conflict.status = ChangeStatus::Conflict;
        return conflict;
    }
    AuditEntry entry;
    entry.action = AuditAction::Delete;
    entry.pidno = seen.pidno;
    entry.subNo = seen.subNo;
    entry.filePath = seen.filePath;
    entry.oldKeys = seen.keys;
    entry.rowRef = seen.id;
    if (!appendAudit({entry}) || !transaction.commit()) {
        return failed(what);
    }
    ChangeResult result;
    result.status = ChangeStatus::Done;
    return result;
}

ChangeResult ChartIndex::recordHash(const QString& filePath, const QByteArray& sha256) {
    const QString what = QStringLiteral("the hash of %1 was not stored").arg(filePath);
    if (!m_open || m_readOnly) {
        fail(QStringLiteral("the chart index is not open for changes"));
        return failed(what);
    }
    WriteTransaction transaction(*m_session);
    m_chainHead.reset();
    if (!transaction.active()) {
        fail(m_session->lastError());
        return failed(what);
    }
    AuditEntry entry;
    entry.action = AuditAction::Rehash;
    entry.filePath = filePath;
    entry.sha256 = sha256;
    if (!storeHash(filePath, sha256) || !appendAudit({entry}) || !transaction.commit()) {
        return failed(what);
    }
    ChangeResult result;
    result.status = ChangeStatus::Done;
    return result;
}

bool ChartIndex::storeHash(const QString& filePath, const QByteArray& sha256) {
    return run({QStringLiteral("INSERT INTO %1 (FilePath, Sha256, HashedAt) VALUES (?, ?, ?) "
                               "ON CONFLICT (FilePath) DO UPDATE SET Sha256 = excluded.Sha256, "
                               "HashedAt = excluded.HashedAt")
                    .arg(chartindex::hashTableName),
                {filePath, QString::fromLatin1(sha256), timestampText(m_clock())},
                true})
        .has_value();
}

ChartIndex::BulkImport::BulkImport(ChartIndex& index) : m_index(index) {
    if (index.m_session && index.m_open && !index.m_readOnly) {
        m_transaction = std::make_unique<WriteTransaction>(*index.m_session);
        index.m_chainHead.reset();
        if (!m_transaction->active()) {
            index.fail(index.m_session->lastError());
        }
    } else {
        index.fail(QStringLiteral("the chart index is not open for changes"));
    }
}

ChartIndex::BulkImport::~BulkImport() = default;

bool ChartIndex::BulkImport::active() const {
    return m_transaction && m_transaction->active();
}

bool ChartIndex::BulkImport::add(const std::vector<StoredRow>& rows,
                                 const std::vector<QByteArray>& hashes) {
    if (!active()) {
        m_index.fail(QStringLiteral("the import is not running"));
        return false;
    }
    for (size_t first = 0; first < rows.size(); first += BulkBatchRows) {
        const size_t end = std::min(rows.size(), first + BulkBatchRows);
        Statement insert{
            QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(chartindex::tableName, InsertColumns),
            {},
            true};
        QStringList tuples;
        for (size_t n = first; n < end; ++n) {
            const StoredRow& row = rows[n];
            tuples << QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?)");
            insert.values << row.pidno << row.subNo << timestampText(row.createdAt) << row.filePath;
            for (const auto& key : cutKeys(row.keys)) {
                insert.values << key;
            }
        }
        insert.text += tuples.join(QStringLiteral(", "));
        insert.text += QStringLiteral(" RETURNING %1").arg(chartindex::identityColumn);
        auto inserted = m_index.run(insert);
        if (!inserted) {
            m_index.fail(QStringLiteral("rows %1 to %2 were not added: %3")
                             .arg(first + 1)
                             .arg(end)
                             .arg(m_index.m_lastError));
            return false;
        }
        // RETURNING hands the identities back in the order of the values.
        std::vector<qint64> ids;
        while (inserted->next()) {
            ids.push_back(inserted->value(0).toLongLong());
        }
        if (ids.size() != end - first) {
            m_index.fail(QStringLiteral("the database gave %1 identities for %2 rows")
                             .arg(ids.size())
                             .arg(end - first));
            return false;
        }
        std::vector<AuditEntry> entries;
        entries.reserve(end - first);
        for (size_t n = first; n < end; ++n) {
            const StoredRow& row = rows[n];
            const QByteArray hash = n < hashes.size() ? hashes[n] : QByteArray();
            if (!hash.isEmpty() && !m_index.storeHash(row.filePath, hash)) {
                return false;
            }
            AuditEntry entry;
            entry.action = AuditAction::Import;
            entry.pidno = row.pidno;
            entry.subNo = row.subNo;
            entry.filePath = row.filePath;
            entry.newKeys = cutKeys(row.keys);
            entry.rowRef = ids[n - first];
            entry.sha256 = hash;
            entry.at = row.createdAt;
            entries.push_back(std::move(entry));
        }
        if (!m_index.appendAudit(entries)) {
            return false;
        }
    }
    return true;
}

bool ChartIndex::BulkImport::commit() {
    if (!active()) {
        m_index.fail(QStringLiteral("the import is not running"));
        return false;
    }
    if (!m_transaction->commit()) {
        m_index.fail(m_index.m_session->lastError());
        return false;
    }
    return true;
}

bool ChartIndex::analyze() {
    return run({QStringLiteral("ANALYZE"), {}}).has_value();
}
