// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/sane/sanelibrary.h"

#include <QDialog>

class QListWidget;

/// Lists the scanners for the operator to choose one. The list widget is named "devices"; each
/// item carries the device name in Qt::UserRole.
class ScanSourceDialog : public QDialog {
public:
    ScanSourceDialog(const QList<SaneDeviceInfo>& devices, const QString& current,
                     QWidget* parent = nullptr);

    /// The chosen device name; empty when the list is empty.
    QString selectedDevice() const;

private:
    QListWidget* m_list;
};
