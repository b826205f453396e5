// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QWidget>
#include <array>

class QComboBox;
class QLabel;
class QPushButton;

/// The keyword tab: four rows of label, clear button, editable keyword box and add button,
/// and a button that clears all four texts. The texts are the keywords of the next chart; a
/// control character that reaches a box in any way becomes a blank there.
class TKeywordPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int Rows = 4;

    explicit TKeywordPanel(QWidget* parent = nullptr);

    void setLabels(const std::array<QString, Rows>& labels);
    QString label(int row) const;

    QComboBox* keyBox(int row) const { return m_boxes.at(static_cast<size_t>(row)); }
    QPushButton* clearButton(int row) const { return m_clearButtons.at(static_cast<size_t>(row)); }
    QPushButton* addButton(int row) const { return m_addButtons.at(static_cast<size_t>(row)); }
    QPushButton* clearAllButton() const { return m_clearAll; }

    /// The current texts of the four boxes.
    std::array<QString, Rows> keywords() const;

    QStringList items(int row) const;
    void setItems(int row, const QStringList& items);

    /// Replaces the whole text of box \p row (control characters blanked, as always).
    void replaceText(int row, const QString& text);

    /// Row whose box is or contains \p widget, or -1.
    int rowOf(const QWidget* widget) const;

private:
    std::array<QLabel*, Rows> m_labels{};
    std::array<QComboBox*, Rows> m_boxes{};
    std::array<QPushButton*, Rows> m_clearButtons{};
    std::array<QPushButton*, Rows> m_addButtons{};
    QPushButton* m_clearAll = nullptr;
};
