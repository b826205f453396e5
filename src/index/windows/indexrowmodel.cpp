// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/windows/indexrowmodel.h"

#include "index/indexjob.h"
#include "platform/backgroundjob.h"

#include <array>

namespace {

struct ColumnInfo {
    const char16_t* caption;
    int resultWidth;
};

// Field order, captions and the search result grid's widths.
constexpr std::array<ColumnInfo, IndexRowModel::ColumnCount> columns{{
    {u"患者番号", 80},
    {u"連番", 40},
    {u"作成日時", 100},
    {u"ファイル名", 180},
    {u"キー１", 60},
    {u"キー２", 60},
    {u"キー３", 60},
    {u"キー４", 60},
}};

} // namespace

IndexRowModel::IndexRowModel(IndexCursor cursor, QObject* parent)
    : QAbstractTableModel(parent), m_cursor(std::move(cursor)) {
    m_cursor.setPageRows(FetchRows); // one statement per scroll step, and a short one
}

int IndexRowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int IndexRowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString IndexRowModel::caption(int column) {
    return QString::fromUtf16(columns.at(size_t(column)).caption);
}

int IndexRowModel::resultWidth(int column) {
    return columns.at(size_t(column)).resultWidth;
}

QString IndexRowModel::displayText(const ChartIndex::StoredRow& row, int column) {
    switch (column) {
    case Pidno:
        return QString::number(row.pidno);
    case SubNo:
        return QString::number(row.subNo);
    case CreateDateTime:
        return row.createdAt.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
    case FilePath:
        return row.filePath;
    default:
        return row.keys.at(size_t(column - Key1));
    }
}

QVariant IndexRowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const ChartIndex::StoredRow& row = m_rows[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return displayText(row, index.column());
    }
    if (role == Qt::TextAlignmentRole && index.column() <= SubNo) {
        return QVariant(Qt::AlignRight | Qt::AlignVCenter); // numbers stand to the right
    }
    return {};
}

QVariant IndexRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (orientation == Qt::Horizontal) {
        return section >= 0 && section < ColumnCount ? caption(section) : QVariant();
    }
    return QString();
}

bool IndexRowModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_atEnd;
}

void IndexRowModel::fetchMore(const QModelIndex& parent) {
    // While the job reads to the end, the rows come from it alone: the cursor here stands
    // where the job began.
    if (!parent.isValid() && !m_reader) {
        fetchRows(FetchRows);
    }
}

int IndexRowModel::fetchRows(int rows) {
    if (m_atEnd || rows <= 0) {
        return 0;
    }
    std::vector<ChartIndex::StoredRow> batch;
    batch.reserve(size_t(rows));
    while (int(batch.size()) < rows) {
        std::optional<ChartIndex::StoredRow> row = m_cursor.next();
        if (!row) {
            m_atEnd = true;
            break;
        }
        batch.push_back(std::move(*row));
    }
    const int added = int(batch.size());
    append(std::move(batch));
    return added;
}

void IndexRowModel::append(std::vector<ChartIndex::StoredRow> batch) {
    if (batch.empty()) {
        return;
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + int(batch.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(batch.begin()),
                  std::make_move_iterator(batch.end()));
    endInsertRows();
}

void IndexRowModel::readToEnd() {
    if (m_reader) {
        return;
    }
    // The rows this cursor read already but did not hand out come first, then the job goes on
    // after them through a session of its own.
    std::deque<ChartIndex::StoredRow> buffered = m_cursor.takeBuffered();
    append({std::make_move_iterator(buffered.begin()), std::make_move_iterator(buffered.end())});
    if (m_atEnd || m_cursor.exhausted()) {
        m_atEnd = true;
        emit readToEndFinished(true);
        return;
    }
    IndexRowModel* self = this; // what the job sends runs here, while the job (a child) lives
    const IndexCursor from = m_cursor;
    m_reader = BackgroundJob::start(
        this, [self, from, folder = m_cursor.programFolder()](JobContext& job) {
            QString error;
            chartindex::withReadingIndex(
                job, folder,
                [&](ChartIndex& index) {
                    IndexCursor rows = from.continuedOn(index);
                    rows.setPageRows(ReadToEndBatchRows);
                    std::vector<ChartIndex::StoredRow> batch;
                    batch.reserve(ReadToEndBatchRows);
                    while (!job.stopRequested()) {
                        auto row = rows.next();
                        if (row) {
                            batch.push_back(std::move(*row));
                        }
                        if (!row || batch.size() == ReadToEndBatchRows) {
                            job.send([self, batch = std::move(batch)]() mutable {
                                self->append(std::move(batch));
                            });
                            batch = {};
                            batch.reserve(ReadToEndBatchRows);
                        }
                        if (!row) {
                            error = rows.error();
                            return;
                        }
                    }
                },
                &error);
            job.send([self, error] {
                self->m_reader->deleteLater();
                self->m_reader = nullptr;
                self->m_readError = error;
                self->m_atEnd = true;
                emit self->readToEndFinished(error.isEmpty());
            });
        });
}

void IndexRowModel::stopReading() {
    if (!m_reader) {
        return;
    }
    m_reader->stop();
    m_reader->deleteLater();
    m_reader = nullptr;
    // The view goes on reading on this thread from the last row that came.
    if (!m_rows.empty()) {
        m_cursor.skipTo(m_rows.back().id);
    }
}

void IndexRowModel::startCount() {
    if (m_counter) {
        m_counter->stop();
        m_counter->deleteLater();
    }
    IndexRowModel* self = this;
    m_counter = BackgroundJob::start(
        this, [self, from = m_cursor, folder = m_cursor.programFolder()](JobContext& job) {
            std::optional<qint64> rows;
            chartindex::withReadingIndex(
                job, folder, [&](ChartIndex& index) { rows = from.continuedOn(index).count(); },
                nullptr);
            job.send([self, rows] {
                self->m_counter->deleteLater();
                self->m_counter = nullptr;
                emit self->counted(rows);
            });
        });
}

void IndexRowModel::replaceRow(int row, ChartIndex::StoredRow stored) {
    m_rows.at(size_t(row)) = std::move(stored);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void IndexRowModel::dropRow(int row) {
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}
