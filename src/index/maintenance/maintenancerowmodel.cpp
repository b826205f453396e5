// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/maintenance/maintenancerowmodel.h"

#include "platform/cp932qt.h"

MaintenanceRowModel::MaintenanceRowModel(IndexCursor cursor, QObject* parent)
    : IndexRowModel(std::move(cursor), parent) {}

Qt::ItemFlags MaintenanceRowModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = IndexRowModel::flags(index);
    if (index.isValid() && isKeyColumn(index.column())) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

QVariant MaintenanceRowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || !isKeyColumn(index.column()) ||
        (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)) {
        return IndexRowModel::data(index, role);
    }
    const size_t key = size_t(index.column() - Key1);
    if (m_pending && m_pending->row == index.row()) {
        return m_pending->keys.at(key);
    }
    return rowAt(index.row()).keys.at(key);
}

bool MaintenanceRowModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.row() >= rowCount() ||
        !isKeyColumn(index.column())) {
        return false;
    }
    if (m_pending && m_pending->row != index.row()) {
        return false; // the view posts a row's edit before it edits another row
    }
    if (!m_pending) {
        m_pending = Pending{index.row(), rowAt(index.row()).keys};
    }
    const size_t key = size_t(index.column() - Key1);
    m_pending->keys.at(key) = cp932::qTruncate(value.toString(), ChartIndex::KeyBytes);
    m_pending->typed.at(key) = true;
    emit dataChanged(index, index);
    return true;
}

QVariant MaintenanceRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section == CreateDateTime) {
        return QStringLiteral("作成日"); // this grid's caption; the search grid says 作成日時
    }
    return IndexRowModel::headerData(section, orientation, role);
}

std::optional<int> MaintenanceRowModel::pendingRow() const {
    return m_pending ? std::optional<int>(m_pending->row) : std::nullopt;
}

MaintenanceRowModel::ChangeOutcome MaintenanceRowModel::post(ChartIndex& index) {
    if (!m_pending) {
        return ChangeOutcome::Unchanged;
    }
    const Pending pending = *m_pending;
    m_pending.reset();
    const ChartIndex::StoredRow& shown = rowAt(pending.row);
    bool changed = false;
    for (size_t key = 0; key < pending.keys.size(); ++key) {
        changed |= pending.typed.at(key) && pending.keys.at(key) != shown.keys.at(key);
    }
    if (!changed) {
        return ChangeOutcome::Unchanged; // nothing changed: no statement
    }
    // Written only when the row still holds what the grid shows: a row another workstation
    // changed or deleted meanwhile is read again instead, and nothing is written.
    ChartIndex::Keywords keys = shown.keys;
    for (size_t key = 0; key < pending.keys.size(); ++key) {
        if (pending.typed.at(key)) {
            keys.at(key) = pending.keys.at(key);
        }
    }
    const ChartIndex::ChangeResult result = index.editKeywords(shown, keys);
    return settle(pending.row, result);
}

MaintenanceRowModel::ChangeOutcome
MaintenanceRowModel::settle(int row, const ChartIndex::ChangeResult& result) {
    switch (result.status) {
    case chartindex::ChangeStatus::Done:
        if (result.row) {
            replaceRow(row, *result.row);
        } else {
            dropRow(row);
        }
        return ChangeOutcome::Written;
    case chartindex::ChangeStatus::Conflict:
        if (result.row) {
            replaceRow(row, *result.row);
        } else {
            dropRow(row);
        }
        return result.row ? ChangeOutcome::ChangedElsewhere : ChangeOutcome::DeletedElsewhere;
    case chartindex::ChangeStatus::Failed:
        break;
    }
    emit dataChanged(index(row, Key1), index(row, Key4));
    return ChangeOutcome::Failed;
}

void MaintenanceRowModel::cancel() {
    if (!m_pending) {
        return;
    }
    const int row = m_pending->row;
    m_pending.reset();
    emit dataChanged(index(row, Key1), index(row, Key4));
}

MaintenanceRowModel::ChangeOutcome MaintenanceRowModel::deleteRow(ChartIndex& index, int row) {
    if (row < 0 || row >= rowCount()) {
        return ChangeOutcome::Unchanged;
    }
    if (m_pending && m_pending->row == row) {
        m_pending.reset();
    }
    const ChartIndex::ChangeResult result = index.deleteChart(rowAt(row));
    const bool dropped = result.status != chartindex::ChangeStatus::Failed && !result.row;
    const ChangeOutcome outcome = settle(row, result);
    if (dropped && m_pending && m_pending->row > row) {
        --m_pending->row;
    }
    return outcome;
}

int MaintenanceRowModel::maintenanceWidth(int column) {
    switch (column) {
    case SubNo:
        return 40;
    case CreateDateTime:
        return 54;
    case FilePath:
        return 79;
    default:
        return 0;
    }
}
