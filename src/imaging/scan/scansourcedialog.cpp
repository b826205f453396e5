// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/scan/scansourcedialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

ScanSourceDialog::ScanSourceDialog(const QList<SaneDeviceInfo>& devices, const QString& current,
                                   QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)) {
    m_list->setAccessibleName(QStringLiteral("スキャナー"));
    setWindowTitle(QStringLiteral("スキャナの選択"));
    m_list->setObjectName(QStringLiteral("devices"));
    for (const SaneDeviceInfo& device : devices) {
        auto* item = new QListWidgetItem(device.displayName(), m_list);
        item->setData(Qt::UserRole, device.name);
        if (device.name == current) {
            m_list->setCurrentItem(item);
        }
    }
    if (m_list->currentItem() == nullptr && m_list->count() > 0) {
        m_list->setCurrentRow(0);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(m_list->count() > 0);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(devices.isEmpty()
                                     ? QStringLiteral("スキャナが見つかりません。")
                                     : QStringLiteral("使用するスキャナを選んでください。"),
                                 this));
    layout->addWidget(m_list);
    layout->addWidget(buttons);
}

QString ScanSourceDialog::selectedDevice() const {
    const QListWidgetItem* item = m_list->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toString() : QString();
}
