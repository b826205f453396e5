// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/warningdialog.h"

class QLineEdit;

/// Asks before every plain file of the scanner folder is deleted. Accepted ("Ok") means the
/// files may go; rejected ("Cancel") keeps them.
class TDeleteWarningForm : public WarningDialog {
    Q_OBJECT
public:
    explicit TDeleteWarningForm(QWidget* parent = nullptr);

    /// Shows \p folder in the read-only field and centres the dialog on the screen.
    void prepare(const QString& folder);
    QString folder() const;

private:
    QLineEdit* m_folder;
};
