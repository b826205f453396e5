// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QList>
#include <QPair>
#include <QVariant>

class SaneDevice;

/// The scanner's main options, shown before a page is read: colour mode, bit depth,
/// resolution and paper source, each only when the scanner has it. Each control is named after
/// its option ("mode", "depth", "resolution", "source"): a QComboBox for a list of choices, a
/// QSpinBox for a range, a QCheckBox for a switch.
class ScanOptionsDialog : public QDialog {
public:
    explicit ScanOptionsDialog(const SaneDevice& device, QWidget* parent = nullptr);

    /// The chosen values, in the order they are to be set: the mode first, because it changes
    /// what the others allow.
    QList<QPair<QString, QVariant>> values() const;

private:
    struct Field {
        QString name;
        QWidget* widget;
    };
    QList<Field> m_fields;
};
