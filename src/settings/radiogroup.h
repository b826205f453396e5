// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>
#include <QList>
#include <QStringList>

class QButtonGroup;
class QRadioButton;

/// A framed group of radio buttons with one chosen item, read and set by its index.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    /// \p items become the buttons, laid out in \p columns columns, filled row by row.
    RadioGroup(const QString& title, const QStringList& items, int columns,
               QWidget* parent = nullptr);

    /// Index of the checked button, or -1 when none is checked.
    int itemIndex() const;
    /// Checks button \p index; an index outside the items leaves no button checked.
    void setItemIndex(int index);

    QRadioButton* button(int index) const { return m_buttons.at(index); }
    int count() const { return static_cast<int>(m_buttons.size()); }

private:
    QButtonGroup* m_group;
    QList<QRadioButton*> m_buttons;
};
