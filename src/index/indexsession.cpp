// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/indexsession.h"

#include <QSqlError>
#include <QUuid>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace chartindex {

namespace {

/// How long one statement waits inside the database for a lock; a statement that waits for
/// locks makes further attempts until the session's busy timeout runs out.
constexpr int AttemptWaitMs = 1000;

} // namespace

/// Abandons a statement that runs past the session's limit, from a thread of its own: the
/// thread that runs the statement is blocked inside the database driver and cannot look at a
/// clock. Also the way another thread interrupts the running statement.
class IndexSession::Watchdog {
public:
    Watchdog() : m_thread([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    /// The connection's interrupter, or none while it is closed.
    void setInterrupter(std::function<void()> interrupter) {
        std::lock_guard lock(m_mutex);
        m_interrupter = std::move(interrupter);
    }
    void arm(std::chrono::milliseconds limit) {
        std::lock_guard lock(m_mutex);
        m_deadline = std::chrono::steady_clock::now() + limit;
        m_expired = false;
        m_wake.notify_all();
    }
    /// Ends the watch of the statement; true when it was abandoned for running too long.
    bool disarm() {
        std::lock_guard lock(m_mutex);
        m_deadline.reset();
        return std::exchange(m_expired, false);
    }
    void interrupt() {
        std::lock_guard lock(m_mutex);
        if (m_interrupter) {
            m_interrupter();
        }
    }

private:
    void watch() {
        std::unique_lock lock(m_mutex);
        while (!m_stopping) {
            if (!m_deadline) {
                m_wake.wait(lock);
                continue;
            }
            const auto deadline = *m_deadline;
            if (m_wake.wait_until(lock, deadline) == std::cv_status::timeout && m_deadline &&
                *m_deadline == deadline) {
                m_deadline.reset();
                m_expired = true;
                if (m_interrupter) {
                    m_interrupter();
                }
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    std::function<void()> m_interrupter;
    bool m_expired = false;
    bool m_stopping = false;
    std::thread m_thread;
};

IndexSession::IndexSession(const IndexBackend& backend, SessionLimits limits)
    : m_backend(backend), m_limits(limits),
      m_name(QStringLiteral("chart-index-%1").arg(QUuid::createUuid().toString(QUuid::Id128))),
      m_watchdog(std::make_unique<Watchdog>()) {}

IndexSession::~IndexSession() {
    close();
    m_watchdog.reset();
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase::removeDatabase(m_name);
    }
}

QSqlDatabase IndexSession::database() const {
    return QSqlDatabase::database(m_name, false);
}

bool IndexSession::connect() {
    close();
    // The connection is made anew each time: the last one may be broken beyond repair.
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(m_backend.driverName(), m_name);
    if (!db.isValid()) {
        fail(QStringLiteral("%1: the Qt SQL driver %2 is not installed")
                 .arg(m_backend.describe(), m_backend.driverName()));
        return false;
    }
    const int lockWaitMs = std::min(m_limits.busyTimeoutMs, AttemptWaitMs);
    m_backend.configure(db, lockWaitMs, false);
    if (!db.open()) {
        fail(QStringLiteral("%1: %2").arg(m_backend.describe(), db.lastError().text()));
        return false;
    }
    QString why;
    if (!m_backend.startSession(db, lockWaitMs, m_limits.statementLimitMs, &why)) {
        fail(QStringLiteral("%1: %2").arg(m_backend.describe(), why));
        db.close();
        return false;
    }
    m_watchdog->setInterrupter(m_backend.interrupter(db));
    m_connected = true;
    return true;
}

void IndexSession::close() {
    if (m_watchdog) {
        m_watchdog->setInterrupter({});
    }
    m_connected = false;
    m_inTransaction = false;
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase::database(m_name, false).close();
    }
}

bool IndexSession::ensureConnected() {
    if (m_connected) {
        return true;
    }
    const bool connected = connect();
    if (!connected) {
        fail(QStringLiteral("the chart index cannot be reached: %1").arg(m_lastError));
    }
    return connected;
}

void IndexSession::interrupt() {
    m_watchdog->interrupt();
}

std::optional<QSqlQuery> IndexSession::run(const Statement& statement,
                                           const std::function<void()>& waiting) {
    if (!m_connected) {
        // Once per statement outside a transaction: a server that is back serves again.
        if (m_inTransaction || !ensureConnected()) {
            if (m_lastError.isEmpty()) {
                fail(QStringLiteral("the chart index is not connected"));
            }
            return std::nullopt;
        }
    }
    bool connectionLost = false;
    auto done = runOnce(statement, waiting, &connectionLost);
    if (done || !connectionLost) {
        return done;
    }
    m_connected = false;
    // Inside a transaction a new connection would lose what the transaction did so far: the
    // transaction fails, and the next change connects again.
    if (m_inTransaction) {
        return std::nullopt;
    }
    const QString reason = m_lastError;
    if (!connect()) {
        fail(QStringLiteral("the connection to %1 was lost (%2) and could not be made again: %3")
                 .arg(m_backend.describe(), reason, m_lastError));
        return std::nullopt;
    }
    return runOnce(statement, waiting, &connectionLost);
}

bool IndexSession::exec(QSqlQuery& query, const Statement& statement) {
    if (m_limits.statementLimitMs > 0) {
        m_watchdog->arm(std::chrono::milliseconds(m_limits.statementLimitMs));
    }
    bool ran = false;
    // A statement without values runs as it is: some (BEGIN, COMMIT) cannot be prepared.
    if (statement.values.isEmpty()) {
        ran = query.exec(statement.text);
    } else if (query.prepare(statement.text)) {
        for (const auto& value : statement.values) {
            query.addBindValue(value);
        }
        ran = query.exec();
    }
    if (m_watchdog->disarm() && !ran) {
        fail(QStringLiteral("%1 did not answer within %2 s; the statement was abandoned")
                 .arg(m_backend.describe())
                 .arg(m_limits.statementLimitMs / 1000.0));
        return false;
    }
    if (!ran) {
        fail(query.lastError().text());
    }
    return ran;
}

std::optional<QSqlQuery> IndexSession::runOnce(const Statement& statement,
                                               const std::function<void()>& waiting,
                                               bool* connectionLost) {
    QSqlDatabase db = database();
    QSqlQuery q(db);
    // Inside a transaction a statement that found the table locked is taken back to a
    // savepoint before it is tried again: the server otherwise refuses everything after it.
    const bool guarded = m_inTransaction && statement.waitsForLocks && !statement.endsTransaction;
    // A forward-only result is fetched row by row as it is read, and the server's driver drops
    // what is still unread when the next statement runs: a guarded statement's own result
    // (RETURNING) is fetched whole before its savepoint is released.
    q.setForwardOnly(!guarded);
    auto attempt = [&] {
        QSqlQuery savepoint(db);
        if (guarded && !savepoint.exec(QStringLiteral("SAVEPOINT lock_wait"))) {
            fail(savepoint.lastError().text());
            return false;
        }
        const bool ran = exec(q, statement);
        if (guarded) {
            savepoint.exec(ran ? QStringLiteral("RELEASE SAVEPOINT lock_wait")
                               : QStringLiteral("ROLLBACK TO SAVEPOINT lock_wait"));
        }
        return ran;
    };
    // Each attempt waits a short slice inside the database; between slices the caller hears
    // once that the index is busy, so a window can say so while it waits.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_limits.busyTimeoutMs);
    bool announced = false;
    bool done = attempt();
    while (!done && statement.waitsForLocks && m_backend.isBusy(q.lastError()) &&
           std::chrono::steady_clock::now() < deadline) {
        if (!announced && waiting) {
            waiting();
            announced = true;
        }
        done = attempt();
    }
    if (!done) {
        *connectionLost = m_backend.isConnectionLost(q.lastError()) || !db.isOpen();
        return std::nullopt;
    }
    return q;
}

WriteTransaction::WriteTransaction(IndexSession& session, const std::function<void()>& waiting)
    : m_session(session) {
    if (session.m_inTransaction) {
        session.fail(QStringLiteral("a transaction is already running on the chart index"));
        return;
    }
    m_active =
        session.run({session.backend().beginWriteStatement(), {}, true}, waiting).has_value();
    session.m_inTransaction = m_active;
}

WriteTransaction::~WriteTransaction() {
    if (m_active) {
        rollBack();
    }
}

void WriteTransaction::rollBack() {
    const QString reason = m_session.lastError();
    // Not a lock wait: ROLLBACK never waits for one, and it needs no savepoint around it.
    if (m_session.isConnected()) {
        QSqlQuery rollback(m_session.database());
        rollback.exec(QStringLiteral("ROLLBACK"));
    }
    m_session.m_inTransaction = false;
    m_active = false;
    m_session.fail(reason);
}

bool WriteTransaction::commit() {
    if (!m_active) {
        m_session.fail(QStringLiteral("the transaction is not running"));
        return false;
    }
    // Still inside the transaction while COMMIT runs: a lost connection must fail it, never
    // send COMMIT again on a new connection, where it would commit nothing and succeed.
    const bool committed = m_session.run({QStringLiteral("COMMIT"), {}, true, true}).has_value();
    if (!committed) {
        rollBack();
        return false;
    }
    m_session.m_inTransaction = false;
    m_active = false;
    return true;
}

} // namespace chartindex
