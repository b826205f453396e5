// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// One connection to the chart index and the statements run on it: waits for another
/// writer's lock, a time limit on every statement, one new connection after a lost one, and
/// the write transaction that makes several statements one change. Only the index layer runs
/// statements; everything above it uses ChartIndex.

#include "index/indexbackend.h"

#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace chartindex {

struct Statement {
    QString text;
    QVariantList values;
    bool waitsForLocks = false; ///< tried again while another writer holds a lock
    /// COMMIT: it ends the transaction whatever it answers, so no savepoint may follow it.
    bool endsTransaction = false;
};

/// How long a session waits, for messages and tests to name.
struct SessionLimits {
    /// How long a statement that waits for locks keeps trying while another writer holds one.
    int busyTimeoutMs = 20000;
    /// How long one statement may run before it is abandoned (0: no limit). A server that stops
    /// answering fails the statement after this time instead of holding its caller.
    int statementLimitMs = 15000;
};

class IndexSession {
public:
    IndexSession(const IndexBackend& backend, SessionLimits limits);
    ~IndexSession();
    IndexSession(const IndexSession&) = delete;
    IndexSession& operator=(const IndexSession&) = delete;

    /// Opens the connection (a new one each time); false with the reason in lastError().
    bool connect();
    void close();
    bool isConnected() const { return m_connected; }
    /// Opens the connection again when it was lost; true when it is up.
    bool ensureConnected();

    /// Runs \p statement, waiting for locks as it asks and making one new connection when the
    /// old one was lost outside a transaction. std::nullopt, with the reason in lastError(),
    /// when it fails. \p waiting is called once when a wait for another writer's lock begins.
    std::optional<QSqlQuery> run(const Statement& statement,
                                 const std::function<void()>& waiting = {});

    /// Ends the statement running on this session from another thread, as soon as the engine
    /// allows; the statement fails. Safe to call at any time, also when nothing runs.
    void interrupt();

    bool inTransaction() const { return m_inTransaction; }
    const QString& lastError() const { return m_lastError; }
    void fail(const QString& why) { m_lastError = why; }
    const IndexBackend& backend() const { return m_backend; }
    const SessionLimits& limits() const { return m_limits; }
    QSqlDatabase database() const;

private:
    friend class WriteTransaction;
    std::optional<QSqlQuery> runOnce(const Statement& statement,
                                     const std::function<void()>& waiting, bool* connectionLost);
    bool exec(QSqlQuery& query, const Statement& statement);

    const IndexBackend& m_backend;
    SessionLimits m_limits;
    QString m_name;
    QString m_lastError;
    bool m_connected = false;
    bool m_inTransaction = false;
    class Watchdog;
    std::unique_ptr<Watchdog> m_watchdog; // abandons statements that outrun the limit
};

/// Several statements as one change: begun on construction, rolled back on destruction unless
/// committed. Only one runs on a session at a time.
class WriteTransaction {
public:
    explicit WriteTransaction(IndexSession& session, const std::function<void()>& waiting = {});
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    /// Whether it began; when not, the session's lastError() says why.
    bool active() const { return m_active; }
    bool commit();

private:
    void rollBack();
    IndexSession& m_session;
    bool m_active = false;
};

} // namespace chartindex
