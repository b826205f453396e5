// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSpinBox>

/// An integer spin box that lets the operator type any text and settles it when the box loses
/// the focus (or Enter is pressed): a number outside the range becomes the nearest bound, and a
/// text that is not a number becomes the minimum. A plain QSpinBox refuses such keystrokes
/// instead, so "150" could never be typed to mean the maximum.
class ClampSpinBox : public QSpinBox {
    Q_OBJECT
public:
    explicit ClampSpinBox(QWidget* parent = nullptr);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
};
