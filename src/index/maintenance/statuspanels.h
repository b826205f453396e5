// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The status bar of the maintenance windows: a count on the left, messages on the right, and
/// a progress bar that shows while a long run works.

#include <QStatusBar>

class QLabel;
class QProgressBar;

class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    enum class Panel : quint8 { Count = 0, Message = 1 };

    explicit StatusPanels(QWidget* parent = nullptr);

    QString text(Panel panel) const;
    void setText(Panel panel, const QString& text);
    void clearBoth();

    /// Shows the progress bar at \p done of \p total (a busy bar while \p total is 0).
    void showProgress(qint64 done, qint64 total);
    void hideProgress();
    QProgressBar* progressBar() const { return m_progress; }

private:
    QLabel* m_count;
    QLabel* m_message;
    QProgressBar* m_progress;
};
