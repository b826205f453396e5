// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Typing as the operator types: one key event for each character, as a keyboard or an input
/// method commits it, so Japanese text reaches a widget the way it does in use (QTest's own
/// keyClicks knows only the keys of a Latin keyboard).

#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QWidget>

/// Types \p text into \p widget one character at a time.
inline void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

/// Replaces what \p edit holds by typing: everything selected, deleted, then \p text typed.
inline void retypeText(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    typeText(edit, text);
}
