// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/keywordpanel.h"

#include "app/keywordtext.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

/// A keyword goes into one line of the creation log, so whatever reaches the box (typing,
/// pasting, which lets line feeds and tabs through, an item chosen from the list) has its
/// control characters blanked at once.
void blankControlCharactersIn(QLineEdit* edit) {
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) {
        const QString blanked = blankControlCharacters(text);
        if (blanked == text) {
            return;
        }
        const int caret = edit->cursorPosition(); // one blank per character: the caret stays
        edit->setText(blanked);
        edit->setCursorPosition(caret);
    });
}

} // namespace

TKeywordPanel::TKeywordPanel(QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    auto* frame = new QGroupBox(this);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(new QLabel(QStringLiteral("クリア"), frame), 0, 1, Qt::AlignHCenter);
    grid->addWidget(new QLabel(QStringLiteral("キーワード"), frame), 0, 2, Qt::AlignHCenter);
    grid->addWidget(new QLabel(QStringLiteral("追加"), frame), 0, 3, Qt::AlignHCenter);

    for (int row = 0; row < Rows; ++row) {
        const auto i = static_cast<size_t>(row);
        const QString n = QString::number(row + 1);
        m_labels[i] = new QLabel(frame);
        m_labels[i]->setObjectName(QStringLiteral("KeyLabel") + n);
        m_labels[i]->setMinimumWidth(96);

        m_clearButtons[i] = new QPushButton(QStringLiteral("×"), frame);
        m_clearButtons[i]->setObjectName(QStringLiteral("Clr%1Btn").arg(n));
        m_clearButtons[i]->setFixedWidth(32);
        m_clearButtons[i]->setToolTip(QStringLiteral("クリア"));

        m_boxes[i] = new QComboBox(frame);
        m_boxes[i]->setObjectName(QStringLiteral("KeyBox") + n);
        m_boxes[i]->setEditable(true);
        blankControlCharactersIn(m_boxes[i]->lineEdit());
        m_boxes[i]->setInsertPolicy(
            QComboBox::NoInsert); // items are added with the add button only
        m_boxes[i]->setMinimumWidth(320);
        m_boxes[i]->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

        m_addButtons[i] = new QPushButton(QStringLiteral("＋"), frame);
        m_addButtons[i]->setObjectName(QStringLiteral("Add%1Btn").arg(n));
        m_addButtons[i]->setFixedWidth(32);
        m_addButtons[i]->setToolTip(QStringLiteral("追加"));

        grid->addWidget(m_labels[i], row + 1, 0);
        grid->addWidget(m_clearButtons[i], row + 1, 1);
        grid->addWidget(m_boxes[i], row + 1, 2);
        grid->addWidget(m_addButtons[i], row + 1, 3);

        QComboBox* box = m_boxes[i];
        connect(m_clearButtons[i], &QPushButton::clicked, box,
                [box] { box->setEditText(QString()); });
        connect(m_addButtons[i], &QPushButton::clicked, box, [box] {
            // Appended as typed, also when empty or already listed.
            const QString text = box->currentText();
            box->addItem(text);
            box->setEditText(text);
        });
    }
    grid->setColumnStretch(2, 1);
    outer->addWidget(frame);

    m_clearAll = new QPushButton(QStringLiteral("全てクリア"), this);
    m_clearAll->setObjectName(QStringLiteral("AllClearBtn"));
    connect(m_clearAll, &QPushButton::clicked, this, [this] {
        for (auto* box : m_boxes) {
            box->setEditText(QString());
        }
    });
    outer->addWidget(m_clearAll, 0, Qt::AlignLeft);
    outer->addStretch(1);
}

void TKeywordPanel::setLabels(const std::array<QString, Rows>& labels) {
    for (size_t i = 0; i < labels.size(); ++i) {
        m_labels[i]->setText(labels[i]);
        // An empty caption would leave the box without a name for a screen reader.
        m_boxes[i]->setAccessibleName(
            labels[i].isEmpty() ? QStringLiteral("キーワード%1").arg(i + 1) : labels[i]);
    }
}

QString TKeywordPanel::label(int row) const {
    return m_labels.at(static_cast<size_t>(row))->text();
}

std::array<QString, TKeywordPanel::Rows> TKeywordPanel::keywords() const {
    std::array<QString, Rows> texts;
    for (size_t i = 0; i < texts.size(); ++i) {
        texts[i] = m_boxes[i]->currentText();
    }
    return texts;
}

QStringList TKeywordPanel::items(int row) const {
    const QComboBox* box = keyBox(row);
    QStringList list;
    list.reserve(box->count());
    for (int i = 0; i < box->count(); ++i) {
        list.append(box->itemText(i));
    }
    return list;
}

void TKeywordPanel::setItems(int row, const QStringList& items) {
    QComboBox* box = keyBox(row);
    const QString text = box->currentText();
    box->clear();
    box->addItems(items);
    box->setEditText(text);
}

void TKeywordPanel::replaceText(int row, const QString& text) {
    keyBox(row)->setEditText(text);
}

int TKeywordPanel::rowOf(const QWidget* widget) const {
    for (int row = 0; row < Rows; ++row) {
        const QComboBox* box = keyBox(row);
        if (widget && (widget == box || box->isAncestorOf(widget))) {
            return row;
        }
    }
    return -1;
}
