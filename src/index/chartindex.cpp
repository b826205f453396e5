#include "index/chartindex.h"

#include "index/chartindexschema.h"
#include "platform/cp932qt.h"

#include <QDir>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <QUuid>
#include <QFileInfo>
#include <chrono>
#include <thread>
#include <unistd.h>

namespace {

// SQLite's result codes, as Qt's driver reports them in nativeErrorCode().
const QString SqliteBusy = QStringLiteral("5");
const QString SqliteLocked = QStringLiteral("6");
const QString SqliteReadOnly = QStringLiteral("8");

/// How long one statement waits inside SQLite for a lock; an insert makes further attempts
/// until its own, longer, patience runs out.
constexpr int AttemptWaitMs = 1000;

bool isBusy(const QSqlError& error) {
    return error.nativeErrorCode() == SqliteBusy || error.nativeErrorCode() == SqliteLocked;
}

} // namespace

ChartIndex::ChartIndex(Clock clock, int busyTimeoutMs)
    : m_clock(std::move(clock)), m_busyTimeoutMs(busyTimeoutMs),
      m_connection(
          QStringLiteral("chart-index-%1").arg(QUuid::createUuid().toString(QUuid::Id128))) {}

ChartIndex::~ChartIndex() {
    close();
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::removeDatabase(m_connection);
    }
}

QString ChartIndex::timestampText(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

void ChartIndex::fail(const QString& why) {
    m_lastError = why;
}

bool ChartIndex::open(const QString& programFolder) {
    close();
    m_lastError.clear();
    const QString path = QDir(programFolder).absoluteFilePath(chartindex::fileName);
    {
        QSqlDatabase db = QSqlDatabase::contains(m_connection)
                              ? QSqlDatabase::database(m_connection, false)
                              : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        if (!db.isValid()) {
            fail(QStringLiteral("the SQLite driver of Qt is not installed"));
            return false;
        }
        // mode=rw opens an existing file only: a missing index must never be created empty.
        QUrl uri = QUrl::fromLocalFile(path);
        uri.setQuery(QStringLiteral("mode=rw"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1")
                                 .arg(std::min(m_busyTimeoutMs, AttemptWaitMs)));
        if (!db.open()) {
            fail(QStringLiteral("%1: %2").arg(path, db.lastError().text()));
            return false;
        }
    }
    m_connected = true;
    if (!checkTable() || !checkWritable(path)) {
        m_lastError = QStringLiteral("%1: %2").arg(path, m_lastError);
        close();
        return false;
    }
    m_open = true;
    return true;
}

bool ChartIndex::checkTable() {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery info(db);
    if (!info.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(chartindex::tableName))) {
        fail(info.lastError().text());
        return false;
    }
    QHash<QString, QString> declared; // lower-case field name -> declared type
    while (info.next()) {
        declared.insert(info.value(1).toString().toLower(), info.value(2).toString().toUpper());
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
    // Reading the rows proves the file is neither locked by another writer nor corrupt.
    QSqlQuery count(db);
    if (!count.exec(QStringLiteral("SELECT count(*) FROM %1").arg(chartindex::tableName)) ||
        !count.next()) {
        fail(count.lastError().text());
        return false;
    }
    return true;
}

bool ChartIndex::checkWritable(const QString& path) {
    // SQLite quietly opens a file it cannot write read-only, and its journal needs the folder:
    // both must be writable, or the first insert would fail after the chart is written.
    const QByteArray file = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::access(file.constData(), W_OK) != 0) {
        fail(QStringLiteral("this user cannot write the index file"));
        return false;
    }
    if (::access(folder.constData(), W_OK) != 0) {
        fail(QStringLiteral("this user cannot write in the folder of the index file"));
        return false;
    }
    // A read-only file system or a file SQLite itself opened read-only refuses a write
    // transaction; a lock held by another workstation only makes it busy, which is fine here.
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery probe(db);
    probe.exec(QStringLiteral("PRAGMA busy_timeout = 0"));
    const bool began = probe.exec(QStringLiteral("BEGIN IMMEDIATE"));
    const QSqlError error = probe.lastError();
    if (began) {
        probe.exec(QStringLiteral("ROLLBACK"));
    }
    probe.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(std::min(m_busyTimeoutMs, AttemptWaitMs)));
    if (!began && !isBusy(error)) {
        fail(error.nativeErrorCode() == SqliteReadOnly
                 ? QStringLiteral("the index cannot be written: %1").arg(error.text())
                 : error.text());
        return false;
    }
    return true;
}

void ChartIndex::close() {
    m_open = false;
    if (m_connected) {
        QSqlDatabase::database(m_connection, false).close();
        m_connected = false;
    }
}

bool ChartIndex::insertChart(const ChartRow& row, const std::function<void()>& waiting) {
    if (!m_open) {
        fail(QStringLiteral("the chart index is closed"));
        return false;
    }
    QSqlQuery insert(QSqlDatabase::database(m_connection, false));
    insert.prepare(QStringLiteral("INSERT INTO %1 (Pidno, SubNo, CreateDateTime, FilePath, "
                                  "Key1, Key2, Key3, Key4) VALUES (?, ?, ?, ?, ?, ?, ?, ?)")
                       .arg(chartindex::tableName));
    insert.addBindValue(row.pidno);
    insert.addBindValue(row.subNo);
    insert.addBindValue(timestampText(m_clock()));
    insert.addBindValue(row.filePath);
    for (const auto& key : row.keys) {
        insert.addBindValue(cp932::qTruncate(key, KeyBytes));
    }
    // Each attempt waits a short slice inside SQLite; between slices the caller hears once that
    // the index is busy, so a window can say so while it waits.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_busyTimeoutMs);
    bool announced = false;
    bool inserted = insert.exec();
    while (!inserted && isBusy(insert.lastError()) &&
           std::chrono::steady_clock::now() < deadline) {
        if (!announced && waiting) {
            waiting();
            announced = true;
        }
        inserted = insert.exec();
    }
    if (!inserted) {
        fail(QStringLiteral("the chart row for %1 was not added: %2")
                 .arg(row.filePath, insert.lastError().text()));
        // The row is lost for this run; the table stays closed until the program restarts.
        m_open = false;
        return false;
    }
    return true;
}

std::optional<bool> ChartIndex::containsPath(const QString& filePath) {
    if (!m_open) {
        fail(QStringLiteral("the chart index is closed"));
        return std::nullopt;
    }
    auto found = query(QStringLiteral("SELECT 1 FROM %1 INDEXED BY %2 WHERE FilePath = ? LIMIT 1")
                           .arg(chartindex::tableName, chartindex::pathIndexName),
                       {filePath});
    if (!found) {
        // An index file without the path index still answers, more slowly.
        found = query(QStringLiteral("SELECT 1 FROM %1 WHERE FilePath = ? LIMIT 1")
                          .arg(chartindex::tableName),
                      {filePath});
    }
    if (!found) {
        return std::nullopt;
    }
    return found->next();
}

std::optional<qint64> ChartIndex::rowCount() {
    if (!m_open) {
        fail(QStringLiteral("the chart index is closed"));
        return std::nullopt;
    }
    auto count = query(QStringLiteral("SELECT count(*) FROM %1").arg(chartindex::tableName));
    if (!count || !count->next()) {
        return std::nullopt;
    }
    return count->value(0).toLongLong();
}

std::optional<QSqlQuery> ChartIndex::query(const QString& statement, const QVariantList& values) {
    if (!m_connected) {
        fail(QStringLiteral("the chart index is not connected"));
        return std::nullopt;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.prepare(statement)) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    for (const auto& value : values) {
        q.addBindValue(value);
    }
    if (!q.exec()) {
        fail(q.lastError().text());
        return std::nullopt;
    }
    return q;
}
