// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/journaldialogs.h"

#include <QLabel>
#include <QPushButton>

TRestoreQuestion::TRestoreQuestion(QWidget* parent) : WarningDialog(parent) {
    setObjectName(QStringLiteral("RestoreQuestion"));
    addLine(QStringLiteral("前回の作業が保存されていません。復元しますか？"));
    m_summary = addLine(QString());
    QPushButton* restore =
        addButton(QStringLiteral("復元"), QDialog::Accepted, QStringLiteral("RestoreButton"));
    addButton(QStringLiteral("破棄"), Discard, QStringLiteral("DiscardButton"));
    finishLayout();
    restore->setDefault(true);
    restore->setFocus();
}

void TRestoreQuestion::prepare(const QString& summary) {
    m_summary->setText(summary);
    centreOnOwner();
}

QString TRestoreQuestion::summary() const {
    return m_summary->text();
}

TJournalNotice::TJournalNotice(QWidget* parent, const QString& objectName, const QString& headline)
    : WarningDialog(parent) {
    setObjectName(objectName);
    addLine(headline);
    m_details = addLine(QString());
    addButton(QStringLiteral("了解"), QDialog::Accepted, QStringLiteral("OkButton"));
    finishLayout();
}

void TJournalNotice::prepare(const QString& details) {
    m_details->setText(details);
    centreOnOwner();
}

QString TJournalNotice::details() const {
    return m_details->text();
}
