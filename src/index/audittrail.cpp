// SPDX-License-Identifier: GPL-3.0-or-later
// The audit trail: every change of the index leaves a line, and each line carries the hash of
// the line before it, so a line removed or rewritten breaks the chain. Replaying the lines gives
// the rows and hashes the tables must hold, so a row or hash changed without its line shows.

#include "index/chartindex.h"

#include "index/chartindexschema.h"
#include "index/indexbackend.h"
#include "index/indexvalues_p.h"
#include "platform/sha256.h"

#include <QSqlQuery>
#include <unordered_map>

using chartindex::Statement;

namespace {

QString escaped(QString text) {
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    text.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return text;
}

QByteArray sha256Of(const QByteArray& bytes) {
    Sha256 hash;
    hash.add(bytes.constData(), std::size_t(bytes.size()));
    return hash.hexDigest();
}

/// What the trail says a row holds, as a digest.
QByteArray rowDigest(int pidno, std::optional<int> subNo, const QString& filePath,
                     const ChartIndex::Keywords& keys) {
    QStringList parts{QString::number(pidno), subNo ? QString::number(*subNo) : QString(),
                      escaped(filePath)};
    for (const QString& key : keys) {
        parts << escaped(key);
    }
    return sha256Of(parts.join(QLatin1Char('\t')).toUtf8());
}

} // namespace

QString ChartIndex::auditActionName(AuditAction action) {
    switch (action) {
    case AuditAction::Insert:
        return QStringLiteral("insert");
    case AuditAction::Register:
        return QStringLiteral("register");
    case AuditAction::EditKeywords:
        return QStringLiteral("edit");
    case AuditAction::Rehash:
        return QStringLiteral("rehash");
    case AuditAction::Import:
        return QStringLiteral("import");
    case AuditAction::Baseline:
        return QStringLiteral("baseline");
    case AuditAction::Delete:
        break;
    }
    return QStringLiteral("delete");
}

QString ChartIndex::auditColumns() {
    return QStringLiteral("%1, AuditAt, Host, OsUser, Action, Pidno, FilePath, OldKey1, OldKey2, "
                          "OldKey3, OldKey4, NewKey1, NewKey2, NewKey3, NewKey4, RowRef, SubNo, "
                          "Sha256, PrevSha256, LineSha256")
        .arg(chartindex::identityColumn);
}

ChartIndex::AuditRow ChartIndex::auditRow(const QSqlQuery& rows) {
    AuditRow row;
    row.id = rows.value(0).toLongLong();
    row.at = chartindex::readTimestamp(rows.value(1));
    row.host = rows.value(2).toString();
    row.user = rows.value(3).toString();
    row.action = rows.value(4).toString();
    row.pidno = rows.value(5).toInt();
    row.filePath = rows.value(6).toString();
    for (int n = 0; n < 4; ++n) {
        row.oldKeys.at(size_t(n)) = rows.value(7 + n).toString();
        row.newKeys.at(size_t(n)) = rows.value(11 + n).toString();
    }
    if (!rows.value(15).isNull()) {
        row.rowRef = rows.value(15).toLongLong();
    }
    if (!rows.value(16).isNull()) {
        row.subNo = rows.value(16).toInt();
    }
    row.sha256 = rows.value(17).toString().toLatin1();
    row.prevSha256 = rows.value(18).toString().toLatin1();
    row.lineSha256 = rows.value(19).toString().toLatin1();
    return row;
}

QByteArray ChartIndex::lineHash(const AuditRow& line) {
    // Everything the line says, in a fixed text form; not its identity, which a copy of the
    // index renumbers, nor its own hash.
    QStringList parts{timestampText(line.at), escaped(line.host),          escaped(line.user),
                      escaped(line.action),   QString::number(line.pidno), escaped(line.filePath)};
    for (const Keywords* keys : {&line.oldKeys, &line.newKeys}) {
        for (const QString& key : *keys) {
            parts << escaped(key);
        }
    }
    parts << (line.rowRef ? QString::number(*line.rowRef) : QString())
          << (line.subNo ? QString::number(*line.subNo) : QString())
          << QString::fromLatin1(line.sha256) << QString::fromLatin1(line.prevSha256);
    return sha256Of(parts.join(QLatin1Char('\t')).toUtf8());
}

bool ChartIndex::readChainHead() {
    if (m_chainHead) {
        return true;
    }
    if (const QString lock = m_backend->trailLockStatement(); !lock.isEmpty()) {
        if (!run({lock, {}, true})) {
            return false;
        }
    }
    auto last =
        run({QStringLiteral("SELECT %1 FROM %2 ORDER BY %3 DESC LIMIT 1")
                 .arg(auditColumns(), chartindex::auditTableName, chartindex::identityColumn),
             {}});
    if (!last) {
        return false;
    }
    // The first line chains to nothing; a line written before lines were chained is hashed
    // as it stands, so the chain starts where it is.
    m_chainHead = last->next() ? lineHash(auditRow(*last)) : QByteArray();
    return true;
}

bool ChartIndex::appendAudit(const std::vector<AuditEntry>& entries) {
    if (entries.empty()) {
        return true;
    }
    if (!readChainHead()) {
        return false;
    }
    Statement insert{QStringLiteral("INSERT INTO %1 (AuditAt, Host, OsUser, Action, Pidno, "
                                    "FilePath, OldKey1, OldKey2, OldKey3, OldKey4, NewKey1, "
                                    "NewKey2, NewKey3, NewKey4, RowRef, SubNo, Sha256, PrevSha256, "
                                    "LineSha256) VALUES ")
                         .arg(chartindex::auditTableName),
                     {},
                     true};
    QStringList tuples;
    QByteArray head = *m_chainHead;
    for (const AuditEntry& entry : entries) {
        AuditRow line;
        line.at = entry.at.isValid() ? entry.at : m_clock();
        line.host = m_workstation.host;
        line.user = m_workstation.user;
        line.action = auditActionName(entry.action);
        line.pidno = entry.pidno;
        line.filePath = entry.filePath;
        line.oldKeys = entry.oldKeys;
        line.newKeys = entry.newKeys;
        line.rowRef = entry.rowRef;
        line.subNo = entry.subNo;
        line.sha256 = entry.sha256;
        line.prevSha256 = head;
        line.lineSha256 = lineHash(line);
        head = line.lineSha256;

        tuples << QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        insert.values << timestampText(line.at) << line.host << line.user << line.action
                      << line.pidno << line.filePath;
        for (const Keywords* keys : {&line.oldKeys, &line.newKeys}) {
            for (const QString& key : *keys) {
                insert.values << (key.isNull() ? QStringLiteral("") : key); // a null is NULL
            }
        }
        insert.values << (line.rowRef ? QVariant(*line.rowRef)
                                      : QVariant(QMetaType::fromType<qint64>()))
                      << (line.subNo ? QVariant(*line.subNo) : QVariant(QMetaType::fromType<int>()))
                      << QString::fromLatin1(line.sha256) << QString::fromLatin1(line.prevSha256)
                      << QString::fromLatin1(line.lineSha256);
    }
    insert.text += tuples.join(QStringLiteral(", "));
    if (!run(insert)) {
        return false;
    }
    m_chainHead = head;
    return true;
}

bool ChartIndex::forEachAuditRow(std::optional<int> pidno,
                                 const std::function<void(const AuditRow&)>& visit) {
    const QString where = pidno ? QStringLiteral("WHERE Pidno = ?") : QString();
    auto rows = run(
        {QStringLiteral("SELECT %1 FROM %2 %3 ORDER BY %4")
             .arg(auditColumns(), chartindex::auditTableName, where, chartindex::identityColumn),
         pidno ? QVariantList{*pidno} : QVariantList{}});
    if (!rows) {
        return false;
    }
    while (rows->next()) {
        visit(auditRow(*rows));
    }
    return true;
}

bool ChartIndex::checkTrail(const std::function<void(const TrailFinding&)>& findings) {
    auto report = [&](const QString& what) { findings(TrailFinding{what}); };
    struct Recorded {
        QByteArray digest;
        QString filePath;
    };
    std::unordered_map<qint64, Recorded> rows; // what the trail says each row holds
    QHash<QString, QByteArray> hashes;         // what the trail says each chart's hash is
    bool chained = false;
    std::optional<AuditRow> previous;
    const bool read = forEachAuditRow(std::nullopt, [&](const AuditRow& line) {
        const QString name = QStringLiteral("audit line %1").arg(line.id);
        const bool hasChain = !line.lineSha256.isEmpty();
        if (!hasChain) {
            if (chained) {
                report(QStringLiteral("%1 (%2 %3) carries no chain hash after chained lines")
                           .arg(name, line.action, line.filePath));
            }
            previous = line;
            return; // lines from before the chain prove nothing and are not replayed
        }
        chained = true;
        const QByteArray expectedPrev = previous ? lineHash(*previous) : QByteArray();
        if (line.prevSha256 != expectedPrev) {
            report(QStringLiteral("%1 (%2 %3) does not follow the line before it: a line was "
                                  "removed or changed")
                       .arg(name, line.action, line.filePath));
        }
        if (lineHash(line) != line.lineSha256) {
            report(QStringLiteral("%1 (%2 %3) was changed after it was written")
                       .arg(name, line.action, line.filePath));
        }
        previous = line;
        const QString action = line.action;
        if (action == u"insert" || action == u"register" || action == u"import" ||
            action == u"baseline") {
            if (line.rowRef) {
                rows[*line.rowRef] = {
                    rowDigest(line.pidno, line.subNo, line.filePath, line.newKeys), line.filePath};
            }
            if (!line.sha256.isEmpty()) {
                hashes.insert(line.filePath, line.sha256);
            }
        } else if (action == u"edit" && line.rowRef) {
            auto it = rows.find(*line.rowRef);
            if (it == rows.end() || it->second.digest != rowDigest(line.pidno, line.subNo,
                                                                   line.filePath, line.oldKeys)) {
                report(QStringLiteral("%1 edits row %2, which the trail does not show as edited")
                           .arg(name)
                           .arg(*line.rowRef));
            }
            rows[*line.rowRef] = {rowDigest(line.pidno, line.subNo, line.filePath, line.newKeys),
                                  line.filePath};
        } else if (action == u"delete" && line.rowRef) {
            rows.erase(*line.rowRef);
        } else if (action == u"rehash") {
            hashes.insert(line.filePath, line.sha256);
        }
    });
    if (!read) {
        return false;
    }
    if (!chained) {
        return true; // an index that has never been changed since lines were chained
    }
    IndexCursor stored = allRows();
    while (const auto row = stored.next()) {
        auto it = rows.find(row->id);
        if (it == rows.end()) {
            report(QStringLiteral("row %1 (%2) has no line in the audit trail")
                       .arg(row->id)
                       .arg(row->filePath));
            continue;
        }
        if (it->second.digest != rowDigest(row->pidno, row->subNo, row->filePath, row->keys)) {
            report(QStringLiteral("row %1 (%2) differs from what the audit trail recorded")
                       .arg(row->id)
                       .arg(row->filePath));
        }
        rows.erase(it);
    }
    if (stored.failed()) {
        fail(stored.error());
        return false;
    }
    for (const auto& [id, recorded] : rows) {
        report(QStringLiteral("row %1 (%2) was removed without a line in the audit trail")
                   .arg(id)
                   .arg(recorded.filePath));
    }
    auto storedHashes =
        run({QStringLiteral("SELECT FilePath, Sha256 FROM %1").arg(chartindex::hashTableName), {}});
    if (!storedHashes) {
        return false;
    }
    while (storedHashes->next()) {
        const QString path = storedHashes->value(0).toString();
        const QByteArray hash = storedHashes->value(1).toString().toLatin1();
        const auto it = hashes.constFind(path);
        if (it == hashes.constEnd()) {
            report(QStringLiteral("the hash of %1 has no line in the audit trail").arg(path));
        } else if (*it != hash) {
            report(QStringLiteral("the hash of %1 was changed without a line in the audit trail")
                       .arg(path));
        }
        hashes.remove(path);
    }
    for (auto it = hashes.constBegin(); it != hashes.constEnd(); ++it) {
        report(QStringLiteral("the hash of %1 was removed without a line in the audit trail")
                   .arg(it.key()));
    }
    return true;
}
