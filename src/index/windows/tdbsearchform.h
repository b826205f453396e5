// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The keyword search dialog: one text box per keyword field under the search-key labels. The
/// texts stay from one search to the next; "クリア" empties them.

#include "index/chartrow.h"

#include <QDialog>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

class TDBSearchForm : public QDialog {
    Q_OBJECT
public:
    explicit TDBSearchForm(QWidget* parent = nullptr);

    /// Captions of the four rows, as the settings give them (an empty label, an empty caption).
    void setKeyLabels(const std::array<QString, 4>& labels);
    /// The four texts as typed, Key1 to Key4.
    chartindex::Keywords texts() const;

    QLineEdit* edit(int key) const { return m_edits.at(size_t(key)); }
    QLabel* caption(int key) const { return m_captions.at(size_t(key)); }
    QPushButton* clearButton() const { return m_clear; }
    QPushButton* searchButton() const { return m_search; }
    QPushButton* cancelButton() const { return m_cancel; }

private:
    std::array<QLabel*, 4> m_captions{};
    std::array<QLineEdit*, 4> m_edits{};
    QPushButton* m_clear = nullptr;
    QPushButton* m_search = nullptr;
    QPushButton* m_cancel = nullptr;
};
