// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The index maintenance window: the rows of the chart index, all of them or one patient's, in
/// a grid read as it scrolls; the four keywords of a row can be corrected and rows deleted.
/// Each change is one bound statement on the row's identity, written when the operator posts
/// it or moves to another row.

#include "index/maintenance/maintenancerowmodel.h"

#include <QDialog>
#include <memory>
#include <optional>

class BackgroundJob;
class ChartIndex;
class MaintenanceGrid;
class QAction;
class QLineEdit;
class QTableView;
class StatusPanels;
class UserPrompts;

class TDBMainteForm : public QDialog {
    Q_OBJECT
public:
    TDBMainteForm(ChartIndex& index, UserPrompts& prompts, QWidget* parent = nullptr);
    ~TDBMainteForm() override;

    /// "メンテナンス(全件)": shows the total row count and the window modally.
    void execute();
    /// What execute() does before showing the window (tests show it themselves).
    void prepareToShow();

    QLineEdit* edit1() const { return m_edit1; }
    QTableView* grid() const;
    /// The grid's rows; null before the first search.
    MaintenanceRowModel* rows() const { return m_rows.get(); }
    StatusPanels* status() const { return m_status; }
    QAction* firstAction() const { return m_first; }
    QAction* priorAction() const { return m_prior; }
    QAction* nextAction() const { return m_next; }
    QAction* lastAction() const { return m_last; }
    QAction* deleteAction() const { return m_delete; }
    QAction* postAction() const { return m_post; }
    QAction* searchAction() const { return m_search; }

protected:
    void done(int result) override;

private:
    void search();
    void moveTo(int row);
    void post();
    void deleteCurrentRow();
    void showOutcome(MaintenanceRowModel::ChangeOutcome outcome);
    void showTotal(std::optional<qint64> total);
    /// "最後のレコード" and Ctrl+End: every row is read on a background job, then the last one
    /// is current.
    void moveToLast();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void updateNavigator();
    int currentRow() const;
    void setRows(std::unique_ptr<MaintenanceRowModel> rows);

    ChartIndex& m_index;
    UserPrompts& m_prompts;
    QLineEdit* m_edit1;
    MaintenanceGrid* m_grid;
    StatusPanels* m_status;
    QAction* m_first = nullptr;
    QAction* m_prior = nullptr;
    QAction* m_next = nullptr;
    QAction* m_last = nullptr;
    QAction* m_delete = nullptr;
    QAction* m_post = nullptr;
    QAction* m_search = nullptr;
    std::unique_ptr<MaintenanceRowModel> m_rows;
    std::optional<qint64> m_total; // the rows the count panel shows
    BackgroundJob* m_totalCounter = nullptr;
};
