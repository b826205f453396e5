// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The rows of an index query as a table for the result grids: the eight fields in their order
/// with their captions. Rows are read from the cursor as the view scrolls (canFetchMore /
/// fetchMore), so a query of a million rows opens at once and never sits in memory whole
/// before the operator has scrolled through it.

#include "index/chartindex.h"

#include <QAbstractTableModel>
#include <optional>
#include <vector>

class BackgroundJob;

class IndexRowModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column : int {
        Pidno,
        SubNo,
        CreateDateTime,
        FilePath,
        Key1,
        Key2,
        Key3,
        Key4,
        ColumnCount
    };

    /// Takes the rows of \p cursor; nothing is read before the first fetch.
    explicit IndexRowModel(IndexCursor cursor, QObject* parent = nullptr);

    /// Rows read per fetch as the view scrolls.
    static constexpr int FetchRows = 200;
    /// Rows per statement, and per batch sent to the window, when every row is read.
    static constexpr int ReadToEndBatchRows = 2000;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent = {}) const override;
    void fetchMore(const QModelIndex& parent = {}) override;

    /// Reads up to \p rows more rows; returns how many came.
    int fetchRows(int rows);
    /// Reads every remaining row on a background job with a session of its own, appending the
    /// rows in batches as they come, so the window answers however many there are; emits
    /// readToEndFinished() when every row is in. Nothing happens when all are read already.
    void readToEnd();
    /// Stops a readToEnd(): the rows that came stay, and more are read as the view scrolls.
    void stopReading();
    bool isReadingToEnd() const { return m_reader != nullptr; }
    /// Counts the rows of the query on a background job; emits counted() with the number, or
    /// std::nullopt when the count failed.
    void startCount();
    /// Whether every row of the query has been read.
    bool atEnd() const { return m_atEnd; }
    /// How many rows the query yields in all, counted by the index on the caller's thread;
    /// std::nullopt when the count fails (error() says why).
    std::optional<qint64> count() { return m_cursor.count(); }
    /// Why reading stopped early; empty while all is well.
    QString error() const { return m_readError.isEmpty() ? m_cursor.error() : m_readError; }

    /// The row at \p row, which must have been read.
    const ChartIndex::StoredRow& rowAt(int row) const { return m_rows.at(size_t(row)); }
    /// Replaces the row at \p row with \p stored (after an edit written to the index).
    void replaceRow(int row, ChartIndex::StoredRow stored);
    /// Takes the row at \p row out of the table (after it was deleted from the index).
    void dropRow(int row);

    /// The caption of \p column, as the grids show it.
    static QString caption(int column);
    /// The width of \p column in pixels in the search result grid.
    static int resultWidth(int column);
    /// \p value of \p column as the grid shows it.
    static QString displayText(const ChartIndex::StoredRow& row, int column);

signals:
    /// Every row is in (\p ok), or reading them failed (error() says why).
    void readToEndFinished(bool ok);
    void counted(std::optional<qint64> rows);

private:
    void append(std::vector<ChartIndex::StoredRow> batch);

    IndexCursor m_cursor;
    std::vector<ChartIndex::StoredRow> m_rows;
    bool m_atEnd = false;
    QString m_readError;
    BackgroundJob* m_reader = nullptr;
    BackgroundJob* m_counter = nullptr;
};
