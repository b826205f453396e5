#pragma once

/// \file
/// The rows of the maintenance grid: the result grid's rows, of which only the four keyword
/// columns can be edited. An edit stays pending on its row until it is posted, and a post
/// changes that one row of the index, addressed by its identity: another workstation's edits
/// of other rows are never overwritten, nor, on the same row, the keys this edit left alone.

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
    /// Writes the pending edit into the index. True when there was none or it was written;
    /// false, with the pending edit dropped and the row as before, when the change failed.
    bool post(ChartIndex& index);
    /// Drops the pending edit: the row shows its stored keywords again.
    void cancel();
    /// Deletes the row \p row from the index and from the table; false when that failed.
    bool deleteRow(ChartIndex& index, int row);

    static bool isKeyColumn(int column) { return column >= Key1 && column <= Key4; }
    /// The maintenance grid's width of \p column in pixels, or 0 for the view's default.
    static int maintenanceWidth(int column);

private:
    struct Pending {
        int row = 0;
        ChartIndex::Keywords keys;
        std::array<bool, 4> typed{}; ///< which keys the operator changed
    };
    std::optional<Pending> m_pending;
};
