// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/tdeletewarningform.h"

#include <QLineEdit>

TDeleteWarningForm::TDeleteWarningForm(QWidget* parent) : WarningDialog(parent) {
    setObjectName(QStringLiteral("DeleteWarningForm"));
    addLine(QStringLiteral("以下のフォルダーにあるファイルは、全て削除されます。"));
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QStringLiteral("FolderEdit"));
    m_folder->setReadOnly(true);
    m_folder->setAccessibleName(QStringLiteral("削除するフォルダー"));
    m_folder->setMinimumWidth(360);
    addLineWidget(m_folder);
    addLine(QStringLiteral("削除してよいですか？"));
    addButton(QStringLiteral("Cancel"), QDialog::Rejected, QStringLiteral("CancelButton"));
    addButton(QStringLiteral("Ok"), QDialog::Accepted, QStringLiteral("OkButton"));
    finishLayout();
}

void TDeleteWarningForm::prepare(const QString& folder) {
    m_folder->setText(folder);
    centreOnScreen();
}

QString TDeleteWarningForm::folder() const {
    return m_folder->text();
}
