// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QPlainTextEdit;
class UserPrompts;

/// The error log window. It holds the error log itself: lines added by the save pipeline and
/// whatever the operator edits in it stay until the log is cleared or the program ends.
class TErrorLogForm : public QDialog {
    Q_OBJECT
public:
    explicit TErrorLogForm(UserPrompts& prompts, QWidget* parent = nullptr);

    void addLine(const QString& line);
    void clearLog();
    QStringList lines() const;

    void execute();
    QPlainTextEdit* textArea() const { return m_text; }

private:
    UserPrompts& m_prompts;
    QPlainTextEdit* m_text;
};
