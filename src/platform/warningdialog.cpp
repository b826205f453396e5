// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/warningdialog.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

WarningDialog::WarningDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QStringLiteral("警告"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_lines = new QVBoxLayout;
    m_lines->setSpacing(8);
    layout->addLayout(m_lines);
    layout->addSpacing(12);
    m_buttons = new QHBoxLayout;
    m_buttons->addStretch(1);
    layout->addLayout(m_buttons);
}

QLabel* WarningDialog::addLine(const QString& text) {
    auto* label = new QLabel(text, this);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lines->addWidget(label);
    return label;
}

void WarningDialog::addLineWidget(QWidget* widget) {
    m_lines->addWidget(widget);
}

QPushButton* WarningDialog::addButton(const QString& text, int result, const QString& objectName) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(objectName);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    m_buttons->addWidget(button);
    return button;
}

void WarningDialog::finishLayout() {
    m_buttons->addStretch(1);
}

void WarningDialog::centreOnOwner() {
    adjustSize();
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner) {
        centreOnScreen();
        return;
    }
    QRect frame = frameGeometry();
    frame.moveCenter(owner->frameGeometry().center());
    move(frame.topLeft());
}

void WarningDialog::centreOnScreen() {
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}
