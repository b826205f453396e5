#include "index/chartindex.h"

#include "index/chartindexschema.h"
#include "index/indexbackend.h"
#include "index/indexlocation.h"
#include "platform/cp932qt.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>
#include <chrono>
#include <pwd.h>
#include <unistd.h>

namespace {

/// How long one statement waits inside the database for a lock; an insert makes further
/// attempts until its own, longer, patience runs out.
constexpr int AttemptWaitMs = 1000;

/// Rows per statement when rows are appended in bulk.
constexpr int AppendBatchRows = 200;

const QString TimestampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

QString selectedColumns() {
    QStringList columns{chartindex::identityColumn};
    for (const auto& field : chartindex::fields()) {
        columns << field.name;
    }
    return columns.join(QStringLiteral(", "));
}

QDateTime readTimestamp(const QVariant& value) {
    // The server hands a timestamp back as one; SQLite keeps the text it was given.
    if (value.typeId() == QMetaType::QDateTime) {
        return value.toDateTime();
    }
    const QString text = value.toString();
    // The fixed layout is read digit by digit: a format parse costs more than the rest of the
    // row, and a result grid reads a thousand rows a page.
    auto number = [&text](qsizetype from, qsizetype length) {
        int result = 0;
        for (qsizetype n = from; n < from + length; ++n) {
            const int digit = text.at(n).digitValue();
            if (digit < 0) {
                return -1;
            }
            result = result * 10 + digit;
        }
        return result;
    };
    if (text.size() == 23 && text.at(4) == u'-' && text.at(7) == u'-' && text.at(10) == u' ' &&
        text.at(13) == u':' && text.at(16) == u':' && text.at(19) == u'.') {
        const QDate date(number(0, 4), number(5, 2), number(8, 2));
        const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
        if (date.isValid() && time.isValid()) {
            return QDateTime(date, time);
        }
    }
    return QDateTime::fromString(text, TimestampFormat);
}

} // namespace

ChartIndex::ChartIndex(Clock clock, int busyTimeoutMs)
    : m_clock(std::move(clock)), m_busyTimeoutMs(busyTimeoutMs),
      m_connection(
          QStringLiteral("chart-index-%1").arg(QUuid::createUuid().toString(QUuid::Id128))),
      m_workstation(Workstation::current()) {}

ChartIndex::Workstation ChartIndex::Workstation::current() {
    Workstation here;
    here.host = QSysInfo::machineHostName();
    // The account, not $USER, which a shell lets anyone set.
    if (const passwd* account = ::getpwuid(::getuid())) {
        here.user = QString::fromLocal8Bit(account->pw_name);
    } else {
        here.user = QString::number(::getuid());
    }
    return here;
}

ChartIndex::~ChartIndex() {
    close();
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QString ChartIndex::timestampText(const QDateTime& time) {
    return time.toString(TimestampFormat);
}

QString ChartIndex::location() const {
    return m_backend ? m_backend->describe() : QString();
}

bool ChartIndex::open(const QString& programFolder) {
    close();
    m_lastError.clear();
    QString why;
    const auto location = chartindex::locateIndex(programFolder, &why);
    if (!location) {
        fail(why);
        return false;
    }
    m_backend = chartindex::makeBackend(*location);
    if (!connect()) {
        return false;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!checkTable() || !m_backend->checkWritable(db, &why)) {
        fail(
            QStringLiteral("%1: %2").arg(m_backend->describe(), why.isEmpty() ? m_lastError : why));
        close();
        return false;
    }
    if (!ensureTrail()) {
        fail(QStringLiteral("%1: the hash and audit tables cannot be added: %2")
                 .arg(m_backend->describe(), m_lastError));
        close();
        return false;
    }
    m_open = true;
    return true;
}

bool ChartIndex::trailPresent() {
    for (const QString& table : {chartindex::hashTableName, chartindex::auditTableName}) {
        QSqlQuery probe(QSqlDatabase::database(m_connection, false));
        if (!probe.exec(QStringLiteral("SELECT 1 FROM %1 WHERE 1 = 0").arg(table))) {
            return false;
        }
    }
    return true;
}

bool ChartIndex::ensureTrail() {
    // An index made before the tables existed gets them at its first open; another
    // workstation adding them at the same moment is no failure.
    if (trailPresent()) {
        return true;
    }
    const bool added = writeAtomically([this] {
        for (const QString& statement : m_backend->trailStatements()) {
            if (!run({statement, {}, true})) {
                return false;
            }
        }
        return true;
    });
    return added || trailPresent();
}

bool ChartIndex::connect() {
    // The driver may differ from the last open's: the connection is made anew each time.
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::removeDatabase(m_connection);
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(m_backend->driverName(), m_connection);
        if (!db.isValid()) {
            fail(QStringLiteral("%1: the Qt SQL driver %2 is not installed")
                     .arg(m_backend->describe(), m_backend->driverName()));
            return false;
        }
        const int lockWaitMs = std::min(m_busyTimeoutMs, AttemptWaitMs);
        m_backend->configure(db, lockWaitMs, false);
        QString why;
        if (!db.open()) {
            fail(QStringLiteral("%1: %2").arg(m_backend->describe(), db.lastError().text()));
            return false;
        }
        if (!m_backend->startSession(db, lockWaitMs, &why)) {
            fail(QStringLiteral("%1: %2").arg(m_backend->describe(), why));
            db.close();
            return false;
        }
    }
    m_connected = true;
    return true;
}

bool ChartIndex::checkTable() {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QHash<QString, QString> declared; // lower-case field name -> declared type
    QString why;
    if (!m_backend->readFields(db, &declared, &why)) {
        fail(why);
        return false;
    }
    if (declared.isEmpty()) {
        fail(QStringLiteral("there is no table %1").arg(chartindex::tableName));
        return false;
    }
    for (const auto& field : chartindex::fields()) {
        const auto it = declared.constFind(field.name.toLower());
        if (it == declared.constEnd()) {
            fail(QStringLiteral("the table has no field %1").arg(field.name));
            return false;
        }
        const QString& type = it.value();
        bool fits = false;
        switch (field.kind) {
        case chartindex::FieldKind::Integer:
            fits = type.contains(QLatin1String("INT"));
            break;
        case chartindex::FieldKind::Timestamp:
            fits = type.contains(QLatin1String("TIMESTAMP")) ||
                   type.contains(QLatin1String("DATETIME"));
            break;
        case chartindex::FieldKind::Text:
            fits = type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("TEXT")) ||
                   type.contains(QLatin1String("CLOB"));
            break;
        }
        if (!fits) {
            fail(QStringLiteral("field %1 has the wrong type %2").arg(field.name, type));
            return false;
        }
    }
    // Reading the rows proves the index is neither locked by another writer nor corrupt.
    QSqlQuery count(db);
    if (!count.exec(QStringLiteral("SELECT count(*) FROM %1").arg(chartindex::tableName)) ||
        !count.next()) {
        fail(count.lastError().text());
        return false;
    }
    return true;
}

void ChartIndex::close() {
    m_open = false;
    m_connected = false;
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
    }
}

ChartIndex::StoredRow ChartIndex::storedRow(const QSqlQuery& rows) {
    StoredRow row;
    row.id = rows.value(0).toLongLong();
    row.pidno = rows.value(1).toInt();
    row.subNo = rows.value(2).toInt();
    row.createdAt = readTimestamp(rows.value(3));
    row.filePath = rows.value(4).toString();
    for (int n = 0; n < 4; ++n) {
        row.keys[size_t(n)] = rows.value(5 + n).toString();
    }
    return row;
}

std::optional<QSqlQuery> ChartIndex::run(const Statement& statement,
                                         const std::function<void()>& waiting) {
    if (!m_connected) {
        fail(QStringLiteral("the chart index is not connected"));
        return std::nullopt;
    }
    bool connectionLost = false;
    auto done = runOnce(statement, waiting, &connectionLost);
    // Inside a transaction a new connection would lose what the transaction did so far.
    if (done || !connectionLost || m_inTransaction) {
        return done;
    }
    // One new connection per loss: a server that is gone for good closes the index for the
    // rest of the run, as any other failure of the database does.
    const QString reason = m_lastError;
    if (!reconnect()) {
        fail(QStringLiteral("the connection to %1 was lost (%2) and could not be made again: %3")
                 .arg(m_backend->describe(), reason, m_lastError));
        m_open = false;
        m_connected = false;
        return std::nullopt;
    }
    return runOnce(statement, waiting, &connectionLost);
}

std::optional<QSqlQuery> ChartIndex::runOnce(const Statement& statement,
                                             const std::function<void()>& waiting,
                                             bool* connectionLost) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    auto execOnce = [&] {
        // A statement without values runs as it is: some (BEGIN, COMMIT) cannot be prepared.
        if (statement.values.isEmpty()) {
            return q.exec(statement.text);
        }
        if (!q.prepare(statement.text)) {
            return false;
        }
        for (const auto& value : statement.values) {
            q.addBindValue(value);
        }
        return q.exec();
    };
    // Inside a transaction a statement that found the table locked is taken back to a
    // savepoint before it is tried again: the server otherwise refuses everything after it.
    const bool guarded = m_inTransaction && statement.waitsForLocks;
    auto exec = [&] {
        QSqlQuery savepoint(QSqlDatabase::database(m_connection, false));
        if (guarded && !savepoint.exec(QStringLiteral("SAVEPOINT lock_wait"))) {
            return false;
        }
        const bool ran = execOnce();
        if (guarded) {
            savepoint.exec(ran ? QStringLiteral("RELEASE SAVEPOINT lock_wait")
                               : QStringLiteral("ROLLBACK TO SAVEPOINT lock_wait"));
        }
        return ran;
    };
    // Each attempt waits a short slice inside the database; between slices the caller hears
    // once that the index is busy, so a window can say so while it waits.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_busyTimeoutMs);
    bool announced = false;
    bool done = exec();
    while (!done && statement.waitsForLocks && m_backend->isBusy(q.lastError()) &&
           std::chrono::steady_clock::now() < deadline) {
        if (!announced && waiting) {
            waiting();
            announced = true;
        }
        done = exec();
    }
    if (!done) {
        fail(q.lastError().text());
        *connectionLost = m_backend->isConnectionLost(q.lastError());
        return std::nullopt;
    }
    return q;
}

bool ChartIndex::reconnect() {
    QSqlDatabase::database(m_connection, false).close();
    m_connected = false;
    return connect();
}

bool ChartIndex::insertChart(const ChartRow& row, const std::function<void()>& waiting) {
    if (!m_open) {
        fail(QStringLiteral("the chart index is closed"));
        return false;
    }
    Statement insert{QStringLiteral("INSERT INTO %1 (Pidno, SubNo, CreateDateTime, FilePath, "
                                    "Key1, Key2, Key3, Key4) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
                         .arg(chartindex::tableName),
                     {row.pidno, row.subNo, timestampText(m_clock()), row.filePath},
                     true};
    Keywords stored;
    for (size_t n = 0; n < row.keys.size(); ++n) {
        stored.at(n) = cp932::qTruncate(row.keys.at(n), KeyBytes);
        insert.values << stored.at(n);
    }
    // The row, its file's hash and its line of the audit trail are written as one.
    const bool written = writeAtomically(
        [&] {
            return run(insert, waiting) &&
                   (row.sha256.isEmpty() || storeHash(row.filePath, row.sha256)) &&
                   audit(AuditAction::Insert, row.pidno, row.filePath, {}, stored);
        },
        waiting);
    if (!written) {
        fail(QStringLiteral("the chart row for %1 was not added: %2")
                 .arg(row.filePath, m_lastError));
        // The row is lost for this run; the table stays closed until the program restarts.
        m_open = false;
        return false;
    }
    return true;
}

bool ChartIndex::writeAtomically(const std::function<bool()>& work,
                                 const std::function<void()>& waiting) {
    if (!m_connected) {
        fail(QStringLiteral("the chart index is not connected"));
        return false;
    }
    if (m_inTransaction) {
        return work(); // the caller's transaction makes it all or nothing
    }
    if (!run({m_backend->beginWriteStatement(), {}, true}, waiting)) {
        return false;
    }
    m_inTransaction = true;
    bool done = work();
    if (done) {
        done = run({QStringLiteral("COMMIT"), {}, true}).has_value();
    }
    if (!done) {
        const QString reason = m_lastError;
        run({QStringLiteral("ROLLBACK"), {}});
        m_lastError = reason;
    }
    m_inTransaction = false;
    return done;
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

bool ChartIndex::audit(AuditAction action, int pidno, const QString& filePath,
                       const Keywords& oldKeys, const Keywords& newKeys) {
    Statement line{QStringLiteral("INSERT INTO %1 (AuditAt, Host, OsUser, Action, Pidno, FilePath, "
                                  "OldKey1, OldKey2, OldKey3, OldKey4, NewKey1, NewKey2, NewKey3, "
                                  "NewKey4) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                       .arg(chartindex::auditTableName),
                   {timestampText(m_clock()), m_workstation.host, m_workstation.user,
                    auditActionName(action), pidno, filePath},
                   true};
    for (const Keywords* keys : {&oldKeys, &newKeys}) {
        for (const QString& key : *keys) {
            line.values << (key.isNull() ? QStringLiteral("") : key); // a null would be NULL
        }
    }
    return run(line).has_value();
}

std::optional<bool> ChartIndex::containsPath(const QString& filePath) {
    if (!m_open) {
        fail(QStringLiteral("the chart index is closed"));
        return std::nullopt;
    }
    for (const QString& statement : m_backend->pathLookupStatements()) {
        // An index without the path index still answers, more slowly.
        if (auto found = run({statement, {filePath}})) {
            return found->next();
        }
    }
    return std::nullopt;
}

std::optional<qint64> ChartIndex::rowCount() {
    if (!m_open) {
        fail(QStringLiteral("the chart index is closed"));
        return std::nullopt;
    }
    auto count = run({QStringLiteral("SELECT count(*) FROM %1").arg(chartindex::tableName), {}});
    if (!count || !count->next()) {
        return std::nullopt;
    }
    return count->value(0).toLongLong();
}

IndexCursor ChartIndex::select(QString condition, QVariantList values) {
    return IndexCursor(this, std::move(condition), std::move(values));
}

IndexCursor ChartIndex::searchKeywords(const Keywords& typed) {
    if (!m_connected) {
        return IndexCursor::failedWith(QStringLiteral("the chart index is not connected"));
    }
    QStringList conditions;
    QVariantList values;
    for (size_t n = 0; n < typed.size(); ++n) {
        if (typed[n].isEmpty()) {
            continue;
        }
        conditions << m_backend->likeCondition(chartindex::keyFieldNames().at(qsizetype(n)));
        values << m_backend->containsPattern(typed[n]);
    }
    if (conditions.isEmpty()) {
        return IndexCursor::failedWith(QStringLiteral("the keyword search has no text to find"));
    }
    return select(conditions.join(QStringLiteral(" AND ")), values);
}

IndexCursor ChartIndex::patientRows(int pidno) {
    return select(QStringLiteral("Pidno = ?"), {pidno});
}

IndexCursor ChartIndex::patientRange(int from, int to) {
    return select(QStringLiteral("Pidno >= ? AND Pidno <= ?"), {from, to});
}

IndexCursor ChartIndex::allRows() {
    return select(QString(), {});
}

bool ChartIndex::fetchPage(const QString& condition, const QVariantList& values,
                           std::optional<qint64> after, int limit, std::deque<StoredRow>* page) {
    // Keyed on the identity rather than an offset: each page starts where the last ended,
    // however many rows came or went in between, and costs no more than the first.
    QStringList conditions;
    QVariantList bound = values;
    if (!condition.isEmpty()) {
        conditions << QStringLiteral("(%1)").arg(condition);
    }
    if (after) {
        conditions << QStringLiteral("%1 > ?").arg(chartindex::identityColumn);
        bound << *after;
    }
    bound << limit;
    const QString where = conditions.isEmpty()
                              ? QString()
                              : QStringLiteral("WHERE ") + conditions.join(QStringLiteral(" AND "));
    auto rows =
        run({QStringLiteral("SELECT %1 FROM %2 %3 ORDER BY %4 LIMIT ?")
                 .arg(selectedColumns(), chartindex::tableName, where, chartindex::identityColumn),
             bound});
    if (!rows) {
        return false;
    }
    while (rows->next()) {
        page->push_back(storedRow(*rows));
    }
    return true;
}

std::optional<qint64> ChartIndex::countRows(const QString& condition, const QVariantList& values) {
    const QString where = condition.isEmpty() ? QString() : QStringLiteral("WHERE ") + condition;
    auto rows = run(
        {QStringLiteral("SELECT COUNT(*) FROM %1 %2").arg(chartindex::tableName, where), values});
    if (!rows || !rows->next()) {
        return std::nullopt;
    }
    return rows->value(0).toLongLong();
}

bool ChartIndex::changeOneRow(const Statement& statement, qint64 id, const QString& what) {
    auto changed = run(statement);
    if (!changed) {
        fail(QStringLiteral("%1 of row %2 failed: %3").arg(what).arg(id).arg(m_lastError));
        return false;
    }
    if (changed->numRowsAffected() != 1) {
        fail(QStringLiteral("%1 of row %2 failed: there is no such row").arg(what).arg(id));
        return false;
    }
    return true;
}

std::optional<ChartIndex::StoredRow> ChartIndex::rowById(qint64 id, const QString& what) {
    auto found =
        run({QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                 .arg(selectedColumns(), chartindex::tableName, chartindex::identityColumn),
             {id}});
    if (!found) {
        fail(QStringLiteral("%1 of row %2 failed: %3").arg(what).arg(id).arg(m_lastError));
        return std::nullopt;
    }
    if (!found->next()) {
        fail(QStringLiteral("%1 of row %2 failed: there is no such row").arg(what).arg(id));
        return std::nullopt;
    }
    return storedRow(*found);
}

bool ChartIndex::updateKeywords(qint64 id, const Keywords& keys) {
    Statement update{QStringLiteral("UPDATE %1 SET Key1 = ?, Key2 = ?, Key3 = ?, Key4 = ? "
                                    "WHERE %2 = ?")
                         .arg(chartindex::tableName, chartindex::identityColumn),
                     {},
                     true};
    Keywords stored;
    for (size_t n = 0; n < keys.size(); ++n) {
        stored.at(n) = cp932::qTruncate(keys.at(n), KeyBytes);
        update.values << stored.at(n);
    }
    update.values << id;
    const QString what = QStringLiteral("the keyword change");
    return writeAtomically([&] {
        const auto old = rowById(id, what);
        return old && changeOneRow(update, id, what) &&
               audit(AuditAction::EditKeywords, old->pidno, old->filePath, old->keys, stored);
    });
}

bool ChartIndex::deleteRow(qint64 id) {
    const QString what = QStringLiteral("the deletion");
    return writeAtomically([&] {
        const auto old = rowById(id, what);
        return old &&
               changeOneRow({QStringLiteral("DELETE FROM %1 WHERE %2 = ?")
                                 .arg(chartindex::tableName, chartindex::identityColumn),
                             {id},
                             true},
                            id, what) &&
               audit(AuditAction::Delete, old->pidno, old->filePath, old->keys, {});
    });
}

std::optional<QByteArray> ChartIndex::storedHash(const QString& filePath) {
    auto found = run(
        {QStringLiteral("SELECT Sha256 FROM %1 WHERE FilePath = ?").arg(chartindex::hashTableName),
         {filePath}});
    if (!found) {
        return std::nullopt;
    }
    return found->next() ? found->value(0).toString().toLatin1() : QByteArray();
}

bool ChartIndex::forEachAuditRow(std::optional<int> pidno,
                                 const std::function<void(const AuditRow&)>& visit) {
    const QString where = pidno ? QStringLiteral("WHERE Pidno = ?") : QString();
    auto rows =
        run({QStringLiteral("SELECT AuditAt, Host, OsUser, Action, Pidno, FilePath, OldKey1, "
                            "OldKey2, OldKey3, OldKey4, NewKey1, NewKey2, NewKey3, NewKey4 "
                            "FROM %1 %2 ORDER BY %3")
                 .arg(chartindex::auditTableName, where, chartindex::identityColumn),
             pidno ? QVariantList{*pidno} : QVariantList{}});
    if (!rows) {
        return false;
    }
    while (rows->next()) {
        AuditRow row;
        row.at = readTimestamp(rows->value(0));
        row.host = rows->value(1).toString();
        row.user = rows->value(2).toString();
        row.action = rows->value(3).toString();
        row.pidno = rows->value(4).toInt();
        row.filePath = rows->value(5).toString();
        for (int n = 0; n < 4; ++n) {
            row.oldKeys.at(size_t(n)) = rows->value(6 + n).toString();
            row.newKeys.at(size_t(n)) = rows->value(10 + n).toString();
        }
        visit(row);
    }
    return true;
}

QString ChartIndex::auditActionName(AuditAction action) {
    switch (action) {
    case AuditAction::Insert:
        return QStringLiteral("insert");
    case AuditAction::EditKeywords:
        return QStringLiteral("edit");
    case AuditAction::Delete:
        break;
    }
    return QStringLiteral("delete");
}

bool ChartIndex::appendRows(const std::vector<StoredRow>& rows) {
    const QString prefix = QStringLiteral("INSERT INTO %1 (Pidno, SubNo, CreateDateTime, "
                                          "FilePath, Key1, Key2, Key3, Key4) VALUES ")
                               .arg(chartindex::tableName);
    const QString oneRow = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?)");
    for (size_t first = 0; first < rows.size(); first += AppendBatchRows) {
        const size_t end = std::min(rows.size(), first + AppendBatchRows);
        Statement insert{prefix, {}, true};
        QStringList tuples;
        for (size_t n = first; n < end; ++n) {
            const StoredRow& row = rows[n];
            tuples << oneRow;
            insert.values << row.pidno << row.subNo << timestampText(row.createdAt) << row.filePath;
            for (const auto& key : row.keys) {
                insert.values << cp932::qTruncate(key, KeyBytes);
            }
        }
        insert.text += tuples.join(QStringLiteral(", "));
        if (!run(insert)) {
            fail(QStringLiteral("rows %1 to %2 were not added: %3")
                     .arg(first + 1)
                     .arg(end)
                     .arg(m_lastError));
            return false;
        }
    }
    return true;
}

IndexCursor::IndexCursor(ChartIndex* index, QString condition, QVariantList values)
    : m_index(index), m_condition(std::move(condition)), m_values(std::move(values)) {}

IndexCursor IndexCursor::failedWith(QString error) {
    IndexCursor cursor(nullptr, QString(), {});
    cursor.m_error = std::move(error);
    cursor.m_exhausted = true;
    return cursor;
}

std::optional<ChartIndex::StoredRow> IndexCursor::next() {
    if (m_page.empty() && !m_exhausted) {
        const int limit = m_after ? m_pageRows : FirstPageRows;
        if (!m_index->fetchPage(m_condition, m_values, m_after, limit, &m_page)) {
            m_error = m_index->lastError();
            m_exhausted = true;
        } else {
            m_exhausted = int(m_page.size()) < limit;
        }
    }
    if (m_page.empty()) {
        return std::nullopt;
    }
    ChartIndex::StoredRow row = std::move(m_page.front());
    m_page.pop_front();
    m_after = row.id;
    return row;
}

std::optional<qint64> IndexCursor::count() {
    if (!m_index) {
        return std::nullopt; // a cursor that failed from the start keeps its first reason
    }
    auto counted = m_index->countRows(m_condition, m_values);
    if (!counted) {
        m_error = m_index->lastError();
    }
    return counted;
}

IndexTransaction::IndexTransaction(ChartIndex& index) : m_index(index) {
    if (index.m_inTransaction) {
        index.fail(QStringLiteral("a transaction is already running on the chart index"));
        return;
    }
    m_active =
        index.run({index.m_backend ? index.m_backend->beginWriteStatement() : QString(), {}, true})
            .has_value();
    index.m_inTransaction = m_active;
}

IndexTransaction::~IndexTransaction() {
    if (m_active) {
        m_index.run({QStringLiteral("ROLLBACK"), {}});
        m_index.m_inTransaction = false;
    }
}

bool IndexTransaction::commit() {
    if (!m_active) {
        m_index.fail(QStringLiteral("the transaction is not running"));
        return false;
    }
    const bool committed = m_index.run({QStringLiteral("COMMIT"), {}, true}).has_value();
    if (!committed) {
        m_index.run({QStringLiteral("ROLLBACK"), {}});
    }
    m_active = false;
    m_index.m_inTransaction = false;
    return committed;
}
