#pragma once

/// \file
/// The chart index: one row per filed chart (patient, serial number, when, where, keywords).
/// The index is an existing SQLite file in the program folder; it is never created here.
/// Every statement takes the operator's text as bound values, never pasted into SQL.

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <array>
#include <functional>
#include <optional>

class ChartIndex {
public:
    using Clock = std::function<QDateTime()>;

    /// How long an insert waits, by default, for another workstation's write lock.
    static constexpr int DefaultBusyTimeoutMs = 20000;

    /// \p clock gives the local time stamped on inserted rows; \p busyTimeoutMs is how long a
    /// statement waits for another workstation's lock before it fails.
    explicit ChartIndex(Clock clock = &QDateTime::currentDateTime,
                        int busyTimeoutMs = DefaultBusyTimeoutMs);
    ~ChartIndex();
    ChartIndex(const ChartIndex&) = delete;
    ChartIndex& operator=(const ChartIndex&) = delete;

    /// Opens the index in \p programFolder. A missing file, a missing table, a field missing or
    /// of the wrong kind, a file that cannot be read (corrupt), or one that this user cannot
    /// write (permissions, a read-only file system) leaves it closed; lastError() says why. A
    /// write lock held by another workstation at that moment does not stop the opening.
    bool open(const QString& programFolder);
    bool isOpen() const { return m_open; }
    void close();
    const QString& lastError() const { return m_lastError; }

    struct ChartRow {
        int pidno = 0;
        int subNo = 0;
        QString filePath;
        std::array<QString, 4> keys;
    };

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

    /// Runs one statement with \p values bound to its placeholders in order. Works while the
    /// connection is up, also after a failed insert closed the table for inserts. Returns the
    /// executed query positioned before its first row, or std::nullopt (lastError() says why).
    std::optional<QSqlQuery> query(const QString& statement, const QVariantList& values = {});

    /// Largest keyword, in code page 932 bytes, that a row keeps.
    static constexpr int KeyBytes = 50;

    /// Text stored in CreateDateTime for \p time.
    static QString timestampText(const QDateTime& time);

private:
    bool checkTable();
    bool checkWritable(const QString& path);
    void fail(const QString& why);

    Clock m_clock;
    int m_busyTimeoutMs;
    QString m_connection;
    QString m_lastError;
    bool m_connected = false; // the SQLite connection is up
    bool m_open = false;      // the table may be used (inserts, look-ups, count)
};
