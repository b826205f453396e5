// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The chart index: one row per filed chart (patient, serial number, when, where, keywords),
/// the SHA-256 of each chart file, and the audit trail of every change. The index is an
/// existing SQLite file in the program folder, or the PostgreSQL database that the folder's
/// PeloraFileDB.conf names; it is never created here. Every statement takes the operator's text
/// as bound values, never pasted into SQL, and no statement leaves this layer: callers use the
/// typed operations below.
///
/// Every change of the index is one function of the record API below: it writes the row, its
/// hash and its audit line in one transaction, addresses an existing row by its identity (never
/// handed out again) together with the content the caller last saw, and reports a row that
/// another workstation changed meanwhile as a conflict, writing nothing.

#include "index/chartrow.h"
#include "index/indexsession.h"

#include <QDateTime>
#include <QString>
#include <QVariantList>
#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSqlQuery;
namespace chartindex {
class IndexBackend;
}
class IndexCursor;

namespace chartindex {

/// How a change of the index ended.
enum class ChangeStatus : quint8 {
    Done,     ///< written whole
    Conflict, ///< the row is not what the caller saw (changed or deleted meanwhile); nothing
              ///< written
    Failed,   ///< the database refused or could not be reached; nothing written
};

struct ChangeResult {
    ChangeStatus status = ChangeStatus::Failed;
    /// Done: the row as written (none after a deletion). Conflict: the row as it is now, or
    /// none when it is gone.
    std::optional<StoredRow> row;
    /// Failed: the database's reason.
    QString error;

    bool done() const { return status == ChangeStatus::Done; }
    explicit operator bool() const { return done(); }
};

} // namespace chartindex

class ChartIndex {
public:
    using Clock = std::function<QDateTime()>;
    using ChartRow = chartindex::ChartRow;
    using StoredRow = chartindex::StoredRow;
    using Keywords = chartindex::Keywords;
    using ChangeResult = chartindex::ChangeResult;

    /// How long an insert waits, by default, for another workstation's write lock.
    static constexpr int DefaultBusyTimeoutMs = 20000;
    /// How long one statement may run, by default, before it is abandoned.
    static constexpr int DefaultStatementLimitMs = 15000;

    /// \p clock gives the local time stamped on inserted rows; \p busyTimeoutMs is how long a
    /// statement waits for another workstation's lock before it fails.
    explicit ChartIndex(Clock clock = &QDateTime::currentDateTime,
                        int busyTimeoutMs = DefaultBusyTimeoutMs);
    ~ChartIndex();
    ChartIndex(const ChartIndex&) = delete;
    ChartIndex& operator=(const ChartIndex&) = delete;

    /// How long one statement may run before it is abandoned (0: no limit); set before open().
    /// Work that runs long statements on purpose (copying or building an index) lifts it.
    void setStatementLimitMs(int limitMs) { m_limits.statementLimitMs = limitMs; }

    /// Opens the index of \p programFolder for every use. A conf file that cannot be used, a
    /// server that cannot be reached, a missing file or table, a field missing or of the wrong
    /// kind, a file that cannot be read, or an index that this user cannot write (permissions
    /// on any table a change writes, a read-only file system or server) leaves it closed;
    /// lastError() says why. An index of an older schema is brought up to date first (which
    /// needs the tables' owner on a server). A write lock held by another workstation at that
    /// moment does not stop the opening.
    bool open(const QString& programFolder);
    /// Opens the index of \p programFolder to read only, as a background job does: the fields
    /// are checked, but no write is probed, no row counted and nothing brought up to date.
    bool openForReading(const QString& programFolder);
    bool isOpen() const { return m_open; }
    void close();
    const QString& lastError() const { return m_lastError; }
    /// Where the open index is, for messages; empty before the first open.
    QString location() const;
    /// The program folder the index was opened from: a background job opens its own session
    /// of the same index from it.
    const QString& programFolder() const { return m_programFolder; }
    /// Ends the statement running on this index, from any thread; it fails.
    void interrupt();

    // ---- The record API: every change of the index -------------------------------------

    /// A saved chart's row, stamped with the current local time to the millisecond, with its
    /// hash and its audit line. Keywords are cut to 50 code page 932 bytes on a character
    /// boundary. While another workstation holds the write lock the insert waits up to the
    /// busy timeout; \p waiting is called once when that wait begins. A failed insert closes
    /// the index to further inserts for the rest of the run.
    ChangeResult insertChart(const ChartRow& row, const std::function<void()>& waiting = {});
    /// A chart file found without a row and filed by the registration check, as insertChart
    /// files it (its audit line says it was registered); it does not close the index on failure.
    ChangeResult registerChart(const ChartRow& row);
    /// Sets the four keywords of \p seen's row, cut as an insert cuts them, when the row still
    /// holds what \p seen holds.
    ChangeResult editKeywords(const StoredRow& seen, const Keywords& keys);
    /// Deletes \p seen's row when it still holds what \p seen holds.
    ChangeResult deleteChart(const StoredRow& seen);
    /// Stores \p sha256 as the hash of the chart at \p filePath, with an audit line.
    ChangeResult recordHash(const QString& filePath, const QByteArray& sha256);

    /// Many rows added as one change, for copying or loading an index: each keeps its time
    /// stamp and hash and gets an audit line. Begun on construction; nothing stays unless
    /// committed.
    class BulkImport {
    public:
        explicit BulkImport(ChartIndex& index);
        ~BulkImport();
        BulkImport(const BulkImport&) = delete;
        BulkImport& operator=(const BulkImport&) = delete;
        /// Whether it began; when not, the index's lastError() says why.
        bool active() const;
        /// Adds \p rows (their createdAt kept, their identities new); false on failure.
        bool add(const std::vector<StoredRow>& rows, const std::vector<QByteArray>& hashes = {});
        bool commit();

    private:
        ChartIndex& m_index;
        std::unique_ptr<chartindex::WriteTransaction> m_transaction;
    };

    /// Copies every row, hash and audit line of \p source into this index, which must hold
    /// neither rows nor audit lines, as one change: each row keeps its identity, so the copied
    /// trail still proves the rows. The counts of all three are compared before the copy is
    /// committed. \p progress hears the rows copied so far. False with the reason in
    /// lastError(); nothing is written then. \p targetNotEmpty is set when the refusal was
    /// that this index is not empty.
    bool copyFrom(ChartIndex& source, const std::function<void(qint64 done)>& progress,
                  bool* targetNotEmpty = nullptr);
    /// Brings the planner's statistics up to date (after a bulk load).
    bool analyze();

    // ---- Reading ------------------------------------------------------------------------

    /// Whether a row holds exactly \p filePath; std::nullopt when the look-up fails.
    std::optional<bool> containsPath(const QString& filePath);

    /// Number of rows; std::nullopt when the count fails.
    std::optional<qint64> rowCount();

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
    /// Hands the path of every row whose file lies below \p folder to \p visit, in one
    /// statement served by the path index, until \p visit returns false. False when the
    /// statement failed.
    bool forEachPathBelow(const QString& folder, const std::function<bool(const QString&)>& visit);
    /// The row \p id as it is now; std::nullopt with an empty lastError() when there is none.
    std::optional<StoredRow> rowById(qint64 id);

    /// The SHA-256 stored for \p filePath in hexadecimal; empty when none is; std::nullopt
    /// when the look-up fails.
    std::optional<QByteArray> storedHash(const QString& filePath);

    /// One line of the audit trail.
    struct AuditRow {
        qint64 id = 0;
        QDateTime at;
        QString host;
        QString user;   ///< the operating system account
        QString action; ///< "insert", "register", "edit", "delete", "rehash", "import", "baseline"
        int pidno = 0;
        QString filePath;
        Keywords oldKeys;             ///< empty for an insert
        Keywords newKeys;             ///< empty for a deletion
        std::optional<qint64> rowRef; ///< the row the line is about; none in unchained lines
        std::optional<int> subNo;     ///< the row's serial number; none in unchained lines
        QByteArray sha256;            ///< the chart's hash the line records, if any
        QByteArray prevSha256;        ///< the hash of the line before; none in unchained lines
        QByteArray lineSha256;        ///< this line's own hash; none in unchained lines
    };
    /// Hands every line of the trail, of patient \p pidno or of all, oldest first, to \p visit.
    bool forEachAuditRow(std::optional<int> pidno,
                         const std::function<void(const AuditRow&)>& visit);

    /// What the check of the trail against the tables found wrong.
    struct TrailFinding {
        QString what; ///< one line: the line, row or hash and what is wrong with it
    };
    /// Checks that the trail's lines are chained unbroken and that replaying them gives exactly
    /// the rows and hashes the tables hold: a line removed or changed, a row or hash changed,
    /// added or removed without its line. \p findings hears each; false when reading failed.
    bool checkTrail(const std::function<void(const TrailFinding&)>& findings);

    /// Largest keyword, in code page 932 bytes, that a row keeps.
    static constexpr int KeyBytes = 50;

    /// Text stored in CreateDateTime for \p time.
    static QString timestampText(const QDateTime& time);

private:
    friend class IndexCursor;
    friend class BulkImport;

    enum class AuditAction : quint8 {
        Insert,
        Register,
        EditKeywords,
        Delete,
        Rehash,
        Import,
        Baseline
    };
    static QString auditActionName(AuditAction action);
    /// Who changes the index: written into each audit line.
    struct Workstation {
        QString host;
        QString user;
        static Workstation current();
    };
    /// What one audit line says, before the trail gives it its place.
    struct AuditEntry {
        AuditAction action = AuditAction::Insert;
        int pidno = 0;
        std::optional<int> subNo;
        QString filePath;
        Keywords oldKeys;
        Keywords newKeys;
        std::optional<qint64> rowRef;
        QByteArray sha256;
        QDateTime at; ///< the clock's time unless set
    };

    bool openSession(const QString& programFolder);
    bool checkTable(bool probeRows);
    bool bringUpToDate();
    std::optional<int> storedSchemaVersion();
    bool writeBaseline();

    ChangeResult addChart(const ChartRow& row, AuditAction action,
                          const std::function<void()>& waiting);
    std::optional<qint64> insertRow(const ChartRow& row, const QDateTime& createdAt,
                                    std::optional<qint64> identity,
                                    const std::function<void()>& waiting);
    bool storeHash(const QString& filePath, const QByteArray& sha256);
    /// Appends \p entries to the trail, in their order, chained to the line before them.
    bool appendAudit(const std::vector<AuditEntry>& entries);
    /// The hash the next audit line chains to, read once per transaction under the trail's
    /// lock; false when it cannot be read.
    bool readChainHead();
    static QByteArray lineHash(const AuditRow& line);
    static AuditRow auditRow(const QSqlQuery& rows);
    static QString auditColumns();
    /// The row \p id when it still holds what \p seen holds: Done with the row, Conflict with
    /// the row as it is (or none), Failed when it cannot be read.
    ChangeResult stillAsSeen(const StoredRow& seen);
    ChangeResult failed(const QString& what);
    static StoredRow storedRow(const QSqlQuery& rows);
    std::optional<QSqlQuery> run(const chartindex::Statement& statement,
                                 const std::function<void()>& waiting = {});
    IndexCursor select(QString condition, QVariantList values);
    bool fetchPage(const QString& condition, const QVariantList& values,
                   std::optional<qint64> after, int limit, std::deque<StoredRow>* page);
    std::optional<qint64> countRows(const QString& condition, const QVariantList& values);
    void fail(const QString& why) { m_lastError = why; }

    Clock m_clock;
    QString m_programFolder;
    chartindex::SessionLimits m_limits;
    QString m_lastError;
    std::unique_ptr<chartindex::IndexBackend> m_backend;
    std::unique_ptr<chartindex::IndexSession> m_session;
    bool m_open = false;          // opened: reads and changes may be tried
    bool m_insertsClosed = false; // a save's insert failed: no further inserts this run
    bool m_readOnly = false;      // opened for reading only
    /// The last line's hash within the running write transaction; read again in the next.
    std::optional<QByteArray> m_chainHead;
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

    /// The rows already read from the index but not handed out yet; the cursor goes on after
    /// them.
    std::deque<ChartIndex::StoredRow> takeBuffered();
    /// A cursor over the same rows on \p other (a session of the same index, on another
    /// thread), starting after the last row this one handed out or gave away.
    IndexCursor continuedOn(ChartIndex& other) const;
    /// Whether every row was read from the index.
    bool exhausted() const { return m_exhausted && m_page.empty(); }
    /// Goes on after the row \p id, dropping what was read ahead.
    void skipTo(qint64 id);
    /// The program folder of the index the cursor reads.
    QString programFolder() const;

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
