// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class CreationLog;
class QPlainTextEdit;
class QStatusBar;
class TRegistory;
class UserPrompts;

/// The creation log window: the lines of this run, read-only, with "追加保存" that appends them
/// to a text file the operator picks.
class TLog : public QDialog {
    Q_OBJECT
public:
    TLog(CreationLog& log, TRegistory& settings, UserPrompts& prompts, QWidget* parent = nullptr);

    /// Refreshes the text and shows the window modally.
    void execute();

    /// "追加保存". An error opening the file is thrown for the general error report.
    void appendSave();

    QPlainTextEdit* textArea() const { return m_text; }
    QString statusText() const;

private:
    CreationLog& m_log;
    TRegistory& m_settings;
    UserPrompts& m_prompts;
    QPlainTextEdit* m_text;
    QStatusBar* m_status;
};
