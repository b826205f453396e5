#include "index/windows/indexrowmodel.h"

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
    if (!parent.isValid()) {
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
    if (!batch.empty()) {
        const int first = rowCount();
        beginInsertRows({}, first, first + int(batch.size()) - 1);
        m_rows.insert(m_rows.end(), std::make_move_iterator(batch.begin()),
                      std::make_move_iterator(batch.end()));
        endInsertRows();
    }
    return int(batch.size());
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
