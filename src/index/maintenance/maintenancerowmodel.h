// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The rows of the maintenance grid: the result grid's rows, of which only the four keyword
/// columns can be edited. An edit stays pending on its row until it is posted, and a post or a
/// deletion changes that one row of the index, addressed by its identity, and only while it
/// still holds what the grid shows: a row another workstation changed or deleted meanwhile is
/// read again and nothing is written, so no change of another workstation is ever overwritten.

#include "index/windows/indexrowmodel.h"

#include <array>
#include <optional>

class MaintenanceRowModel : public IndexRowModel {
    Q_OBJECT
public:
    explicit MaintenanceRowModel(IndexCursor cursor, QObject* parent = nullptr);

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// A keyword typed into a cell, cut to the index's 50 bytes on a character boundary.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    /// The row with an edit not yet written to the index, if any.
    std::optional<int> pendingRow() const;
    /// How a post or a deletion ended. The pending edit is gone after every one of them.
    enum class ChangeOutcome : quint8 {
        Unchanged,        ///< nothing to write
        Written,          ///< the index holds the change
        ChangedElsewhere, ///< another workstation changed the row: it shows its keys now
        DeletedElsewhere, ///< another workstation deleted the row: it left the table
        Failed,           ///< the index refused; the row shows its stored keys
    };
    /// Writes the pending edit into the index.
    ChangeOutcome post(ChartIndex& index);
    /// Drops the pending edit: the row shows its stored keywords again.
    void cancel();
    /// Deletes the row \p row from the index and from the table.
    ChangeOutcome deleteRow(ChartIndex& index, int row);

    static bool isKeyColumn(int column) { return column >= Key1 && column <= Key4; }
    /// The maintenance grid's width of \p column in pixels, or 0 for the view's default.
    static int maintenanceWidth(int column);

private:
    ChangeOutcome settle(int row, const ChartIndex::ChangeResult& result);

    struct Pending {
        int row = 0;
        ChartIndex::Keywords keys;
        std::array<bool, 4> typed{}; ///< which keys the operator changed
    };
    std::optional<Pending> m_pending;
};
