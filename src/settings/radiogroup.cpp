// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/radiogroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

RadioGroup::RadioGroup(const QString& title, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(title, parent), m_group(new QButtonGroup(this)) {
    auto* layout = new QGridLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items.at(i), this);
        m_group->addButton(button, i);
        layout->addWidget(button, i / columns, i % columns);
        m_buttons.append(button);
    }
}

int RadioGroup::itemIndex() const {
    return m_group->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (index >= 0 && index < count()) {
        m_buttons.at(index)->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; lift that while clearing.
    m_group->setExclusive(false);
    for (QRadioButton* button : m_buttons) {
        button->setChecked(false);
    }
    m_group->setExclusive(true);
}
