// SPDX-License-Identifier: GPL-3.0-or-later
// Copying a whole index into an empty one (an SQLite file onto a server): rows with their
// identities, hashes and the audit trail line for line, all or nothing.

#include "index/chartindex.h"

#include "index/chartindexschema.h"
#include "index/indexbackend.h"
#include "index/indexvalues_p.h"

#include <QSqlQuery>

using chartindex::Statement;
using chartindex::WriteTransaction;

namespace {

constexpr size_t CopyBatch = 200;

/// "(?, ?, ...)" with \p count placeholders.
QString placeholders(int count) {
    QStringList marks;
    for (int n = 0; n < count; ++n) {
        marks << QStringLiteral("?");
    }
    return QStringLiteral("(%1)").arg(marks.join(QStringLiteral(", ")));
}

/// Runs \p query's count; std::nullopt when it fails.
std::optional<qint64> firstNumber(std::optional<QSqlQuery> query) {
    if (!query || !query->next()) {
        return std::nullopt;
    }
    return query->value(0).toLongLong();
}

} // namespace

bool ChartIndex::copyFrom(ChartIndex& source, const std::function<void(qint64 done)>& progress,
                          bool* targetNotEmpty) {
    if (targetNotEmpty) {
        *targetNotEmpty = false;
    }
    if (!m_open || m_readOnly || !source.m_open) {
        fail(QStringLiteral("both indexes must be open, this one for changes"));
        return false;
    }
    auto count = [](ChartIndex& index, const QString& table) {
        return firstNumber(index.run({QStringLiteral("SELECT count(*) FROM %1").arg(table), {}}));
    };
    const auto targetRows = count(*this, chartindex::tableName);
    const auto targetLines = count(*this, chartindex::auditTableName);
    if (!targetRows || !targetLines) {
        fail(QStringLiteral("cannot count the rows of %1: %2").arg(location(), m_lastError));
        return false;
    }
    if (*targetRows != 0 || *targetLines != 0) {
        fail(QStringLiteral("%1 holds %2 rows and %3 audit lines already; the copy goes only into "
                            "an empty index")
                 .arg(location())
                 .arg(*targetRows)
                 .arg(*targetLines));
        if (targetNotEmpty) {
            *targetNotEmpty = true;
        }
        return false;
    }
    const auto sourceRows = count(source, chartindex::tableName);
    const auto sourceHashes = count(source, chartindex::hashTableName);
    const auto sourceLines = count(source, chartindex::auditTableName);
    if (!sourceRows || !sourceHashes || !sourceLines) {
        fail(QStringLiteral("cannot count the rows of %1: %2")
                 .arg(source.location(), source.lastError()));
        return false;
    }

    WriteTransaction transaction(*m_session);
    if (!transaction.active()) {
        fail(QStringLiteral("cannot begin the copy into %1: %2")
                 .arg(location(), m_session->lastError()));
        return false;
    }
    auto copyFailed = [&](const QString& what, const QString& why) {
        fail(QStringLiteral("%1 failed: %2; nothing was copied").arg(what, why));
        return false;
    };

    // Rows, keeping their identities: the trail's lines name them.
    const QString rowInsert = QStringLiteral("INSERT INTO %1 (%2, Pidno, SubNo, CreateDateTime, "
                                             "FilePath, Key1, Key2, Key3, Key4) %3 VALUES ")
                                  .arg(chartindex::tableName, chartindex::identityColumn,
                                       m_backend->identityOverrideClause());
    qint64 copiedRows = 0;
    std::vector<StoredRow> batch;
    auto flushRows = [&] {
        if (batch.empty()) {
            return true;
        }
        Statement insert{rowInsert, {}, true};
        QStringList tuples;
        for (const StoredRow& row : batch) {
            tuples << placeholders(9);
            insert.values << row.id << row.pidno << row.subNo << timestampText(row.createdAt)
                          << row.filePath;
            for (const QString& key : row.keys) {
                insert.values << key;
            }
        }
        insert.text += tuples.join(QStringLiteral(", "));
        copiedRows += qint64(batch.size());
        batch.clear();
        if (!run(insert)) {
            return false;
        }
        if (progress) {
            progress(copiedRows);
        }
        return true;
    };
    IndexCursor rows = source.allRows();
    while (auto row = rows.next()) {
        batch.push_back(std::move(*row));
        if (batch.size() == CopyBatch && !flushRows()) {
            return copyFailed(QStringLiteral("the copy of the rows"), m_lastError);
        }
    }
    if (rows.failed()) {
        return copyFailed(QStringLiteral("reading the rows of ") + source.location(), rows.error());
    }
    if (!flushRows()) {
        return copyFailed(QStringLiteral("the copy of the rows"), m_lastError);
    }
    for (const QString& statement : m_backend->identityCatchUpStatements()) {
        if (!run({statement, {}})) {
            return copyFailed(QStringLiteral("setting the next identity"), m_lastError);
        }
    }

    // Hashes, as they are.
    auto hashes = source.run(
        {QStringLiteral("SELECT FilePath, Sha256, HashedAt FROM %1").arg(chartindex::hashTableName),
         {}});
    if (!hashes) {
        return copyFailed(QStringLiteral("reading the hashes of ") + source.location(),
                          source.lastError());
    }
    bool more = hashes->next();
    while (more) {
        Statement insert{QStringLiteral("INSERT INTO %1 (FilePath, Sha256, HashedAt) VALUES ")
                             .arg(chartindex::hashTableName),
                         {},
                         true};
        QStringList tuples;
        for (size_t n = 0; n < CopyBatch && more; ++n, more = hashes->next()) {
            tuples << placeholders(3);
            insert.values << hashes->value(0).toString() << hashes->value(1).toString()
                          << timestampText(chartindex::readTimestamp(hashes->value(2)));
        }
        insert.text += tuples.join(QStringLiteral(", "));
        if (!run(insert)) {
            return copyFailed(QStringLiteral("the copy of the hashes"), m_lastError);
        }
    }

    // The trail, line for line in its order, chain hashes included: a copied line proves what
    // it proved before.
    std::vector<AuditRow> lines;
    bool linesWritten = true;
    auto flushLines = [&] {
        if (lines.empty()) {
            return true;
        }
        Statement insert{QStringLiteral("INSERT INTO %1 (AuditAt, Host, OsUser, Action, Pidno, "
                                        "FilePath, OldKey1, OldKey2, OldKey3, OldKey4, NewKey1, "
                                        "NewKey2, NewKey3, NewKey4, RowRef, SubNo, Sha256, "
                                        "PrevSha256, LineSha256) VALUES ")
                             .arg(chartindex::auditTableName),
                         {},
                         true};
        QStringList tuples;
        auto optionalText = [](const QByteArray& text, bool present) {
            return present ? QVariant(QString::fromLatin1(text))
                           : QVariant(QMetaType::fromType<QString>());
        };
        for (const AuditRow& line : lines) {
            const bool chained = !line.lineSha256.isEmpty();
            tuples << placeholders(19);
            insert.values << timestampText(line.at) << line.host << line.user << line.action
                          << line.pidno << line.filePath;
            for (const Keywords* keys : {&line.oldKeys, &line.newKeys}) {
                for (const QString& key : *keys) {
                    insert.values << (key.isNull() ? QStringLiteral("") : key);
                }
            }
            insert.values << (line.rowRef ? QVariant(*line.rowRef)
                                          : QVariant(QMetaType::fromType<qint64>()))
                          << (line.subNo ? QVariant(*line.subNo)
                                         : QVariant(QMetaType::fromType<int>()))
                          << optionalText(line.sha256, chained || !line.sha256.isEmpty())
                          << optionalText(line.prevSha256, chained)
                          << optionalText(line.lineSha256, chained);
        }
        insert.text += tuples.join(QStringLiteral(", "));
        lines.clear();
        return run(insert).has_value();
    };
    const bool trailRead = source.forEachAuditRow(std::nullopt, [&](const AuditRow& line) {
        if (!linesWritten) {
            return;
        }
        lines.push_back(line);
        if (lines.size() == CopyBatch) {
            linesWritten = flushLines();
        }
    });
    if (!trailRead) {
        return copyFailed(QStringLiteral("reading the audit trail of ") + source.location(),
                          source.lastError());
    }
    if (!linesWritten || !flushLines()) {
        return copyFailed(QStringLiteral("the copy of the audit trail"), m_lastError);
    }

    const auto writtenRows = count(*this, chartindex::tableName);
    const auto writtenHashes = count(*this, chartindex::hashTableName);
    const auto writtenLines = count(*this, chartindex::auditTableName);
    if (!writtenRows || !writtenHashes || !writtenLines || *writtenRows != *sourceRows ||
        copiedRows != *sourceRows || *writtenHashes != *sourceHashes ||
        *writtenLines != *sourceLines) {
        auto shown = [](const std::optional<qint64>& n) {
            return n ? QString::number(*n) : QStringLiteral("?");
        };
        return copyFailed(
            QStringLiteral("the count check"),
            QStringLiteral("%1 rows, %2 hashes and %3 audit lines in %4, but %5, %6 and %7 in %8")
                .arg(*sourceRows)
                .arg(*sourceHashes)
                .arg(*sourceLines)
                .arg(source.location(), shown(writtenRows), shown(writtenHashes),
                     shown(writtenLines), location()));
    }
    if (!transaction.commit()) {
        return copyFailed(QStringLiteral("committing the copy into ") + location(),
                          m_session->lastError());
    }
    // The planner must know the table's size before the first search, or it reads the whole
    // table for a rare keyword.
    analyze();
    return true;
}
