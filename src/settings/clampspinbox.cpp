// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/clampspinbox.h"

#include "settings/integertext.h"

#include <QRegularExpression>
#include <algorithm>

ClampSpinBox::ClampSpinBox(QWidget* parent) : QSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

QValidator::State ClampSpinBox::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    // Nothing is refused while typing; fixup() settles the text afterwards.
    return state == QValidator::Invalid ? QValidator::Intermediate : state;
}

void ClampSpinBox::fixup(QString& input) const {
    const QString text = input.trimmed();
    int value = minimum();
    if (const std::optional<int> number = parseSignedInteger(text)) {
        value = std::clamp(*number, minimum(), maximum());
    } else if (static const QRegularExpression tooLong(QStringLiteral("^\\+?[0-9]+$"));
               tooLong.match(text).hasMatch()) {
        value = maximum(); // digits beyond the int range are still a number above the range
    }
    input = textFromValue(value);
}
