#pragma once

/// \file
/// The chart index: one row per filed chart (patient, serial number, when, where, keywords).
/// The index is an existing SQLite file in the program folder, or the PostgreSQL database that
/// the folder's PeloraFileDB.conf names; it is never created here. Every statement takes the
/// operator's text as bound values, never pasted into SQL, and no statement leaves this layer:
/// callers use the typed operations below.

#include "index/chartrow.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QSqlQuery;
namespace chartindex {
class IndexBackend;
}
class IndexCursor;
class IndexTransaction;

class ChartIndex {
public:
    using Clock = std::function<QDateTime()>;
    using ChartRow = chartindex::ChartRow;
    using StoredRow = chartindex::StoredRow;
    using Keywords = chartindex::Keywords;

    /// How long an insert waits, by default, for another workstation's write lock.
    static constexpr int DefaultBusyTimeoutMs = 20000;

    /// \p clock gives the local time stamped on inserted rows; \p busyTimeoutMs is how long a
    /// statement waits for another workstation's lock before it fails.
    explicit ChartIndex(Clock clock = &QDateTime::currentDateTime,
                        int busyTimeoutMs = DefaultBusyTimeoutMs);
    ~ChartIndex();
    ChartIndex(const ChartIndex&) = delete;
    ChartIndex& operator=(const ChartIndex&) = delete;

    /// Opens the index of \p programFolder. A conf file that cannot be used, a server that
    /// cannot be reached, a missing file or table, a field missing or of the wrong kind, a
    /// file that cannot be read (corrupt), or an index that this user cannot write
    /// (permissions, a read-only file system or server) leaves it closed; lastError() says
    /// why. A write lock held by another workstation at that moment does not stop the opening.
    bool open(const QString& programFolder);
    bool isOpen() const { return m_open; }
    void close();
    const QString& lastError() const { return m_lastError; }
    /// Where the open index is, for messages; empty before the first open.
    QString location() const;

    /// Appends a row stamped with the current local time to the millisecond. Keywords are cut to
    /// 50 code page 932 bytes on a character boundary. A failure closes the index for the rest
    /// of the run (later inserts and look-ups fail too) and returns false. While another
    /// workstation holds the write lock the insert waits up to the busy timeout; \p waiting is
    /// called once when that wait begins.
    bool insertChart(const ChartRow& row, const std::function<void()>& waiting = {});

    /// Whether a row holds exactly \p filePath; std::nullopt when the index is closed or the
    /// look-up fails.
    std::optional<bool> containsPath(const QString& filePath);

    /// Number of rows; std::nullopt when the index is closed or the count fails.
    std::optional<qint64> rowCount();

    // The operations below work while the connection is up, also after a failed insert closed
    // the table for inserts: the windows that browse and mend the index must still work then.
    // Rows come in the order they were added.

    /// Rows whose keywords contain the filled texts of \p typed: each non-empty text is a
    /// condition on its own key, and all must hold. `%` and `_` in a text are wildcards (any
    /// run of characters, any one character); ASCII letters match in either case, every other
    /// character only itself, a double quote included. No filled text is an error.
    IndexCursor searchKeywords(const Keywords& typed);
    /// The rows of patient \p pidno.
    IndexCursor patientRows(int pidno);
    /// The rows of patients \p from to \p to, both included.
    IndexCursor patientRange(int from, int to);
    /// Every row, read a page at a time.
    IndexCursor allRows();

    /// Sets the four keywords of the row \p id, cut as an insert cuts them. False, with the
    /// reason, when there is no such row or the change fails.
    bool updateKeywords(qint64 id, const Keywords& keys);
    /// Deletes the row \p id. False, with the reason, when there is no such row or it fails.
    bool deleteRow(qint64 id);
    /// Appends rows as they are, keeping their time stamps (copying an index); the identities
    /// are new. Run it inside an IndexTransaction to make it all or nothing.
    bool appendRows(const std::vector<StoredRow>& rows);

    // Every insert, keyword edit and deletion adds a line to the audit trail in the same
    // transaction as the change; an insert with a hash stores it beside the row. No operation
    // changes or removes an audit line, and the index itself refuses it.

    /// The SHA-256 stored for \p filePath in hexadecimal; empty when none is; std::nullopt
    /// when the look-up fails.
    std::optional<QByteArray> storedHash(const QString& filePath);

    /// One line of the audit trail.
    struct AuditRow {
        QDateTime at;
        QString host;
        QString user;   ///< the operating system account
        QString action; ///< "insert", "edit" or "delete"
        int pidno = 0;
        QString filePath;
        Keywords oldKeys; ///< empty for an insert
        Keywords newKeys; ///< empty for a deletion
    };
    /// Hands every line of the trail, of patient \p pidno or of all, oldest first, to \p visit.
    bool forEachAuditRow(std::optional<int> pidno,
                         const std::function<void(const AuditRow&)>& visit);

    /// Largest keyword, in code page 932 bytes, that a row keeps.
    static constexpr int KeyBytes = 50;

    /// Text stored in CreateDateTime for \p time.
    static QString timestampText(const QDateTime& time);

private:
    friend class IndexCursor;
    friend class IndexTransaction;

    struct Statement {
        QString text;
        QVariantList values;
        bool waitsForLocks = false; ///< retry while busy until the busy timeout
    };

    enum class AuditAction : quint8 { Insert, EditKeywords, Delete };
    static QString auditActionName(AuditAction action);
    /// Who changes the index: written into each audit line.
    struct Workstation {
        QString host;
        QString user;
        static Workstation current();
    };

    bool connect();
    bool checkTable();
    bool trailPresent();
    bool ensureTrail();
    /// Runs \p work in a write transaction of its own, or in the caller's when one is running.
    bool writeAtomically(const std::function<bool()>& work,
                         const std::function<void()>& waiting = {});
    bool storeHash(const QString& filePath, const QByteArray& sha256);
    bool audit(AuditAction action, int pidno, const QString& filePath, const Keywords& oldKeys,
               const Keywords& newKeys);
    std::optional<StoredRow> rowById(qint64 id, const QString& what);
    static StoredRow storedRow(const QSqlQuery& rows);
    std::optional<QSqlQuery> run(const Statement& statement,
                                 const std::function<void()>& waiting = {});
    /// One attempt (with its retries while busy); \p connectionLost tells a failure that a
    /// new connection may cure.
    std::optional<QSqlQuery> runOnce(const Statement& statement,
                                     const std::function<void()>& waiting, bool* connectionLost);
    bool reconnect();
    IndexCursor select(QString condition, QVariantList values);
    bool fetchPage(const QString& condition, const QVariantList& values,
                   std::optional<qint64> after, int limit, std::deque<StoredRow>* page);
    std::optional<qint64> countRows(const QString& condition, const QVariantList& values);
    bool changeOneRow(const Statement& statement, qint64 id, const QString& what);
    void fail(const QString& why) { m_lastError = why; }

    Clock m_clock;
    int m_busyTimeoutMs;
    QString m_connection;
    QString m_lastError;
    std::unique_ptr<chartindex::IndexBackend> m_backend;
    bool m_connected = false;     // the connection is up
    bool m_open = false;          // the table may be used (inserts, look-ups, count)
    bool m_inTransaction = false; // a lost connection cannot be replaced in the middle of one
    Workstation m_workstation;
};

/// Rows of the index, read forwards a page at a time, so that a million rows never sit in
/// memory at once and no read lock is held between pages. It must not outlive its index.
class IndexCursor {
public:
    /// The next row, or std::nullopt at the end or when a page could not be read (failed()).
    std::optional<ChartIndex::StoredRow> next();
    bool failed() const { return !m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    /// How many rows the cursor yields from its start, counted by the index in one statement;
    /// std::nullopt, with the reason in error(), when the count fails.
    std::optional<qint64> count();

    /// Rows in the first page; later pages are larger.
    static constexpr int FirstPageRows = 100;
    static constexpr int PageRows = 1000;
    /// Rows per statement after the first page. A window that reads as the operator scrolls
    /// asks for fewer: a statement for a common keyword filters about rows/density rows, and
    /// that is what the window waits for.
    void setPageRows(int rows) { m_pageRows = std::max(1, rows); }

private:
    friend class ChartIndex;
    IndexCursor(ChartIndex* index, QString condition, QVariantList values);
    static IndexCursor failedWith(QString error);

    ChartIndex* m_index = nullptr;
    QString m_condition;
    QVariantList m_values;
    std::optional<qint64> m_after; ///< identity of the last row handed out
    int m_pageRows = PageRows;
    bool m_exhausted = false;
    std::deque<ChartIndex::StoredRow> m_page;
    QString m_error;
};

/// Several changes as one: begun on construction, rolled back on destruction unless committed.
class IndexTransaction {
public:
    explicit IndexTransaction(ChartIndex& index);
    ~IndexTransaction();
    IndexTransaction(const IndexTransaction&) = delete;
    IndexTransaction& operator=(const IndexTransaction&) = delete;

    /// Whether it began; when not, the index's lastError() says why.
    bool active() const { return m_active; }
    bool commit();

private:
    ChartIndex& m_index;
    bool m_active = false;
};
