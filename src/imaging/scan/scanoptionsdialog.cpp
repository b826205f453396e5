// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/scan/scanoptionsdialog.h"

#include "platform/sane/sanelibrary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QSpinBox>

#include <climits>
#include <cmath>

namespace {

struct MainOption {
    const char* name;
    const char* label;
};

// The options a scan dialog offers, in the order they are set.
constexpr MainOption kMainOptions[] = {
    {"mode", "カラーモード"},
    {"depth", "ビット深度"},
    {"resolution", "解像度"},
    {"source", "読み取り元"},
};

QString numberText(double value) {
    return value == std::floor(value) ? QString::number(static_cast<qint64>(value))
                                      : QString::number(value);
}

QWidget* makeControl(const SaneOption& option, QWidget* parent) {
    const QString name = option.name;
    if (option.type == SaneOption::Type::Bool) {
        auto* box = new QCheckBox(parent);
        box->setChecked(option.value.toBool());
        box->setObjectName(name);
        return box;
    }
    if (option.type == SaneOption::Type::String) {
        auto* combo = new QComboBox(parent);
        combo->addItems(option.stringList);
        if (option.stringList.isEmpty()) {
            combo->addItem(option.value.toString());
        }
        combo->setCurrentText(option.value.toString());
        combo->setObjectName(name);
        return combo;
    }
    if (option.type != SaneOption::Type::Int && option.type != SaneOption::Type::Fixed) {
        return nullptr;
    }
    if (!option.numberList.isEmpty()) {
        auto* combo = new QComboBox(parent);
        for (double value : option.numberList) {
            combo->addItem(numberText(value), value);
        }
        const int current = combo->findData(option.value.toDouble());
        combo->setCurrentIndex(std::max(current, 0));
        combo->setObjectName(name);
        return combo;
    }
    auto* spin = new QSpinBox(parent);
    const double low = option.minimum.value_or(0);
    const double high = option.maximum.value_or(INT_MAX);
    spin->setRange(static_cast<int>(std::ceil(std::max<double>(low, INT_MIN))),
                   static_cast<int>(std::floor(std::min<double>(high, INT_MAX))));
    spin->setSingleStep(std::max(1, static_cast<int>(std::lround(option.step))));
    spin->setValue(static_cast<int>(std::lround(option.value.toDouble())));
    if (option.unit == SaneOption::Unit::Dpi) {
        spin->setSuffix(QStringLiteral(" dpi"));
    }
    spin->setObjectName(name);
    return spin;
}

} // namespace

ScanOptionsDialog::ScanOptionsDialog(const SaneDevice& device, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("スキャン設定"));
    auto* form = new QFormLayout(this);
    const QList<SaneOption> options = device.options();
    for (const MainOption& main : kMainOptions) {
        const QString name = QString::fromLatin1(main.name);
        for (const SaneOption& option : options) {
            if (option.name != name || !option.active || !option.settable) {
                continue;
            }
            if (QWidget* control = makeControl(option, this)) {
                form->addRow(QString::fromUtf8(main.label), control);
                m_fields.append({name, control});
            }
            break;
        }
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

QList<QPair<QString, QVariant>> ScanOptionsDialog::values() const {
    QList<QPair<QString, QVariant>> result;
    for (const Field& field : m_fields) {
        QVariant value;
        if (auto* box = qobject_cast<QCheckBox*>(field.widget)) {
            value = box->isChecked();
        } else if (auto* combo = qobject_cast<QComboBox*>(field.widget)) {
            value = combo->currentData().isValid() ? combo->currentData()
                                                   : QVariant(combo->currentText());
        } else if (auto* spin = qobject_cast<QSpinBox*>(field.widget)) {
            value = spin->value();
        }
        result.append({field.name, value});
    }
    return result;
}
