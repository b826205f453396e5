// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The search result window: a read-only grid of the matching rows with a record navigator,
/// and "表示", which opens the chart file of the current row with its default application.

#include <QDialog>
#include <memory>
#include <optional>

class IndexRowModel;
class QAction;
class QLabel;
class QTableView;
class UrlOpener;

class TSrchResultForm : public QDialog {
    Q_OBJECT
public:
    TSrchResultForm(UrlOpener& opener, QWidget* parent = nullptr);
    ~TSrchResultForm() override;

    /// Shows \p rows, of which there are \p recordCount in all; while that is not known, the
    /// rows are counted on a background job and the count shows when it comes.
    void setRows(std::unique_ptr<IndexRowModel> rows, std::optional<qint64> recordCount);
    /// Lets the rows go (the window is only hidden between searches).
    void releaseRows();

    enum class Navigate : quint8 { First, Prior, Next, Last };
    QAction* navigator(Navigate which) const;
    QAction* showAction() const { return m_show; }
    QTableView* grid() const { return m_grid; }
    IndexRowModel* rows() const { return m_rows.get(); }
    QString recordCountText() const;
    QString messageText() const;
    /// The row the navigator stands on, -1 when there is none.
    int currentRow() const;

signals:
    /// The number of rows is in the first panel (or the count failed and says so).
    void recordCountShown();
    /// "最後のレコード" has read every row and stands on the last one.
    void reachedLast();

private:
    void moveTo(int row);
    /// "最後のレコード" and Ctrl+End: every row is read on a background job, then the last one
    /// is current.
    void moveToLast();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void updateNavigator();
    void showCurrentChart();

    UrlOpener& m_opener;
    std::unique_ptr<IndexRowModel> m_rows;
    QTableView* m_grid = nullptr;
    QAction* m_first = nullptr;
    QAction* m_prior = nullptr;
    QAction* m_next = nullptr;
    QAction* m_last = nullptr;
    QAction* m_show = nullptr;
    QLabel* m_countPanel = nullptr;
    QLabel* m_messagePanel = nullptr;
};
