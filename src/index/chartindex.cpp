// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and closing the chart index: where it is, the checks before it is used, and the
// session its statements run on. The record API, the trail, the reading of rows and the
// bringing up to date of older indexes each have a file of their own.

#include "index/chartindex.h"

#include "index/chartindexschema.h"
#include "index/indexbackend.h"
#include "index/indexlocation.h"
#include "index/indexvalues_p.h"

#include <QSqlQuery>
#include <QSysInfo>
#include <pwd.h>
#include <unistd.h>

using chartindex::Statement;

ChartIndex::ChartIndex(Clock clock, int busyTimeoutMs)
    : m_clock(std::move(clock)), m_limits{busyTimeoutMs, DefaultStatementLimitMs},
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
    m_session.reset();
}

QString ChartIndex::timestampText(const QDateTime& time) {
    return time.toString(chartindex::TimestampFormat);
}

QString ChartIndex::location() const {
    return m_backend ? m_backend->describe() : QString();
}

bool ChartIndex::openSession(const QString& programFolder) {
    close();
    m_lastError.clear();
    m_insertsClosed = false;
    m_programFolder = programFolder;
    QString why;
    const auto location = chartindex::locateIndex(programFolder, &why);
    if (!location) {
        fail(why);
        return false;
    }
    // The session refers to its backend: the old one goes first.
    m_session.reset();
    m_backend = chartindex::makeBackend(*location);
    chartindex::SessionLimits limits = m_limits;
    // A clinic whose server is slow to answer says so in the conf file; work that lifted the
    // limit on purpose keeps it lifted.
    if (location->server && location->server->statementTimeoutSeconds &&
        limits.statementLimitMs != 0) {
        limits.statementLimitMs = *location->server->statementTimeoutSeconds * 1000;
    }
    m_session = std::make_unique<chartindex::IndexSession>(*m_backend, limits);
    if (!m_session->connect()) {
        fail(m_session->lastError());
        return false;
    }
    return true;
}

bool ChartIndex::open(const QString& programFolder) {
    if (!openSession(programFolder)) {
        return false;
    }
    QSqlDatabase db = m_session->database();
    QString why;
    if (!checkTable(true) || !m_backend->checkWritable(db, &why)) {
        fail(
            QStringLiteral("%1: %2").arg(m_backend->describe(), why.isEmpty() ? m_lastError : why));
        close();
        return false;
    }
    if (!bringUpToDate()) {
        close();
        return false;
    }
    m_readOnly = false;
    m_open = true;
    return true;
}

bool ChartIndex::openForReading(const QString& programFolder) {
    if (!openSession(programFolder)) {
        return false;
    }
    if (!checkTable(false)) {
        fail(QStringLiteral("%1: %2").arg(m_backend->describe(), m_lastError));
        close();
        return false;
    }
    m_readOnly = true;
    m_open = true;
    return true;
}

bool ChartIndex::checkTable(bool probeRows) {
    QSqlDatabase db = m_session->database();
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
    if (!probeRows) {
        return true;
    }
    // Reading a row proves the file is a readable index; no count of the whole table, which
    // grows with the index and would be paid by every open.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(chartindex::tableName))) {
        fail(probe.lastError().text());
        return false;
    }
    return true;
}

void ChartIndex::close() {
    m_open = false;
    if (m_session) {
        m_session->close();
    }
}

void ChartIndex::interrupt() {
    if (m_session) {
        m_session->interrupt();
    }
}

std::optional<QSqlQuery> ChartIndex::run(const Statement& statement,
                                         const std::function<void()>& waiting) {
    if (!m_session) {
        fail(QStringLiteral("the chart index is not open"));
        return std::nullopt;
    }
    auto done = m_session->run(statement, waiting);
    if (!done) {
        fail(m_session->lastError());
    }
    return done;
}

ChartIndex::StoredRow ChartIndex::storedRow(const QSqlQuery& rows) {
    StoredRow row;
    row.id = rows.value(0).toLongLong();
    row.pidno = rows.value(1).toInt();
    row.subNo = rows.value(2).toInt();
    row.createdAt = chartindex::readTimestamp(rows.value(3));
    row.filePath = rows.value(4).toString();
    for (int n = 0; n < 4; ++n) {
        row.keys[size_t(n)] = rows.value(5 + n).toString();
    }
    return row;
}
