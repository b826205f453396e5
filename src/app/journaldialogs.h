// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The questions and notices of the work journal.

#include "platform/warningdialog.h"

class QLabel;

/// Asked at start when the scanner folder's journal holds work that was not saved: 復元 (the
/// default button) brings it back, 破棄 puts the journal aside. Closing it in any other way
/// brings the work back too: nothing is given up without the button that says so.
class TRestoreQuestion : public WarningDialog {
    Q_OBJECT
public:
    /// The result of 破棄; 復元 gives QDialog::Accepted.
    static constexpr int Discard = 2;

    explicit TRestoreQuestion(QWidget* parent = nullptr);
    /// \p summary: what the journal holds, in a line or two.
    void prepare(const QString& summary);
    QString summary() const;

private:
    QLabel* m_summary;
};

/// A notice about the journal with a headline and the details below it: a journal that was
/// refused ("JournalRefused"), a scanner folder in use by another program ("JournalInUse").
class TJournalNotice : public WarningDialog {
    Q_OBJECT
public:
    TJournalNotice(QWidget* parent, const QString& objectName, const QString& headline);
    void prepare(const QString& details);
    QString details() const;

private:
    QLabel* m_details;
};
