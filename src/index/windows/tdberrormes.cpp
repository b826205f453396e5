// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/windows/tdberrormes.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

TDBErrorMes::TDBErrorMes(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("DBErrorMes"));
    setWindowTitle(QStringLiteral("データベース障害"));
    setModal(true);

    QPalette red = palette();
    red.setColor(QPalette::Window, QColor(0xFF, 0x00, 0x00));
    red.setColor(QPalette::WindowText, Qt::white);
    setPalette(red);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->setSpacing(12);
    QFont large = font();
    large.setPixelSize(24);
    large.setBold(true);
    for (const QString& line : {QStringLiteral("データベースの接続に失敗しました。"),
                                QStringLiteral("システムは停止します。"),
                                QStringLiteral("回復の後、軌道してください。")}) {
        auto* label = new QLabel(line, this);
        label->setFont(large);
        label->setPalette(red);
        layout->addWidget(label);
    }
    auto* confirm = new QPushButton(QStringLiteral("確認"), this);
    confirm->setObjectName(QStringLiteral("ConfirmButton"));
    confirm->setDefault(true);
    QPalette buttonPalette = QGuiApplication::palette();
    confirm->setPalette(buttonPalette);
    connect(confirm, &QPushButton::clicked, this, &QDialog::accept);
    layout->addSpacing(8);
    layout->addWidget(confirm, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize); // fixed dialog border
}

void TDBErrorMes::centreOnScreen() {
    adjustSize();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}
