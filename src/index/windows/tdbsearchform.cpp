// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/windows/tdbsearchform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TDBSearchForm::TDBSearchForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("DBSearchForm"));
    setWindowTitle(QStringLiteral("検索"));
    // No title-bar buttons: the dialog ends through its two buttons (Esc counts as Cancel).
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("検索項目"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("検索する文字"), this), 0, 1);
    for (int key = 0; key < 4; ++key) {
        auto* caption = new QLabel(this);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("Edit%1").arg(key + 1));
        edit->setMinimumWidth(220);
        caption->setBuddy(edit);
        edit->setAccessibleName(QStringLiteral("キーワード%1").arg(key + 1)); // until captioned
        grid->addWidget(caption, key + 1, 0);
        grid->addWidget(edit, key + 1, 1);
        m_captions.at(size_t(key)) = caption;
        m_edits.at(size_t(key)) = edit;
    }

    m_clear = new QPushButton(QStringLiteral("クリア"), this);
    m_search = new QPushButton(QStringLiteral("検索の実行"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_clear->setAutoDefault(false);
    m_cancel->setAutoDefault(false);
    m_search->setDefault(true); // Enter in a box runs the search
    connect(m_clear, &QPushButton::clicked, this, [this] {
        for (QLineEdit* edit : m_edits) {
            edit->clear();
        }
        m_edits.front()->setFocus();
    });
    connect(m_search, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_clear);
    buttons->addStretch(1);
    buttons->addWidget(m_search);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize); // a fixed border
}

void TDBSearchForm::setKeyLabels(const std::array<QString, 4>& labels) {
    for (size_t key = 0; key < labels.size(); ++key) {
        m_captions.at(key)->setText(labels.at(key));
        // An empty caption would leave the field without a name for a screen reader.
        m_edits.at(key)->setAccessibleName(
            labels.at(key).isEmpty() ? QStringLiteral("キーワード%1").arg(key + 1) : QString());
    }
}

chartindex::Keywords TDBSearchForm::texts() const {
    chartindex::Keywords typed;
    for (size_t key = 0; key < m_edits.size(); ++key) {
        typed.at(key) = m_edits.at(key)->text();
    }
    return typed;
}
