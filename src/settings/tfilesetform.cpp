// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/tfilesetform.h"

#include "platform/cp932qt.h"
#include "platform/userprompts.h"
#include "settings/tregistory.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFileSetForm::TFileSetForm(QWidget* parent)
    : SettingsDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("FileSetForm"));
    setWindowTitle(QStringLiteral("検索キーラベル設定"));

    auto* frame = new QGroupBox(QStringLiteral("　キーワードラベル　"), this);
    auto* grid = new QGridLayout(frame);
    for (int row = 0; row < 4; ++row) {
        auto* label = new QLabel(QStringLiteral("key%1").arg(row + 1), frame);
        auto* edit = new QLineEdit(frame);
        edit->setObjectName(QStringLiteral("LblEdit%1").arg(row + 1));
        edit->setFixedWidth(160);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        m_edits[static_cast<size_t>(row)] = edit;
    }

    m_setButton = new QPushButton(QStringLiteral("設定"), this);
    m_setButton->setObjectName(QStringLiteral("Button1"));
    m_setButton->setDefault(true);
    connect(m_setButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout;
    layout->addWidget(frame);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_setButton);
    layout->addLayout(buttons);
    setBody(layout, StatusBar::Hidden);
}

void TFileSetForm::Execute(TRegistory& settings, UserPrompts& prompts) {
    const std::array<QString*, 4> labels{&settings.KeyLabel1, &settings.KeyLabel2,
                                         &settings.KeyLabel3, &settings.KeyLabel4};
    for (size_t i = 0; i < labels.size(); ++i) {
        m_edits[i]->setText(*labels[i]);
    }
    m_edits[0]->setFocus();
    centreOnOwner();

    prompts.exec(*this);

    for (size_t i = 0; i < labels.size(); ++i) {
        *labels[i] = cp932::qTruncate(m_edits[i]->text(), labelBytes);
    }
}
