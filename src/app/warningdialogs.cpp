// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/warningdialogs.h"

#include "app/messages.h"

#include <QLabel>
#include <QListWidget>

TNotMakeFolder::TNotMakeFolder(QWidget* parent) : WarningDialog(parent) {
    setObjectName(QStringLiteral("NotMakeFolder"));
    m_subject = addLine(QString());
    addLine(messages::CannotCreate + QStringLiteral("　"));
    addLine(QStringLiteral("Diskの容量不足または書き込み不可のデバイスの可能性があります。"));
    addLine(QStringLiteral("又は、使用中の可能性があります。"));
    addButton(QStringLiteral("了解"), QDialog::Accepted, QStringLiteral("OkButton"));
    finishLayout();
}

void TNotMakeFolder::prepare(const QString& pathOrName) {
    m_subject->setText(pathOrName);
    centreOnOwner();
}

QString TNotMakeFolder::subject() const {
    return m_subject->text();
}

TNotOverwrite::TNotOverwrite(QWidget* parent) : WarningDialog(parent) {
    setObjectName(QStringLiteral("NotOverwrite"));
    m_subject = addLine(QString());
    addLine(messages::CannotOverwrite);
    addButton(QStringLiteral("了解"), QDialog::Accepted, QStringLiteral("OkButton"));
    finishLayout();
}

void TNotOverwrite::prepare(const QString& fileName) {
    m_subject->setText(fileName);
    centreOnOwner();
}

QString TNotOverwrite::subject() const {
    return m_subject->text();
}

TNotDelete::TNotDelete(QWidget* parent) : WarningDialog(parent) {
    setObjectName(QStringLiteral("NotDelete"));
    m_subject = addLine(QString());
    addLine(messages::CannotDelete);
    addButton(QStringLiteral("次の削除へ"), QDialog::Accepted, QStringLiteral("NextButton"));
    addButton(QStringLiteral("削除終了"), QDialog::Rejected, QStringLiteral("StopButton"));
    finishLayout();
}

void TNotDelete::prepare(const QString& fileName) {
    m_subject->setText(fileName);
    centreOnOwner();
}

QString TNotDelete::subject() const {
    return m_subject->text();
}

TFileListWarning::TFileListWarning(QWidget* parent, const QString& objectName,
                                   const QString& headline)
    : WarningDialog(parent) {
    setObjectName(objectName);
    addLine(headline);
    m_names = new QListWidget(this);
    m_names->setObjectName(QStringLiteral("FileNames"));
    m_names->setAccessibleName(QStringLiteral("ファイル"));
    m_names->setMinimumWidth(360);
    m_names->setMaximumHeight(160); // a long list scrolls instead of growing off the screen
    addLineWidget(m_names);
    m_note = addLine(QString());
    m_note->setObjectName(QStringLiteral("Note"));
    m_note->hide();
    addButton(QStringLiteral("了解"), QDialog::Accepted, QStringLiteral("OkButton"));
    finishLayout();
}

void TFileListWarning::prepare(const QStringList& names, const QString& note) {
    m_names->clear();
    m_names->addItems(names);
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
    centreOnOwner();
}

QString TFileListWarning::note() const {
    return m_note->text();
}

QStringList TFileListWarning::names() const {
    QStringList out;
    for (int i = 0; i < m_names->count(); ++i) {
        out << m_names->item(i)->text();
    }
    return out;
}

TClearingRefused::TClearingRefused(QWidget* parent) : WarningDialog(parent) {
    setObjectName(QStringLiteral("ClearingRefused"));
    m_subject = addLine(QString());
    addButton(QStringLiteral("了解"), QDialog::Accepted, QStringLiteral("OkButton"));
    finishLayout();
}

void TClearingRefused::prepare(const QString& why) {
    m_subject->setText(why);
    centreOnOwner();
}

QString TClearingRefused::subject() const {
    return m_subject->text();
}

TLogWarningForm::TLogWarningForm(QWidget* parent) : WarningDialog(parent) {
    setObjectName(QStringLiteral("LogWarningForm"));
    addLine(QStringLiteral("ログファイルをクリアしてもよいですか?"));
    addLine(QStringLiteral("ログ情報は、破棄されます。"));
    addButton(QStringLiteral("Cancel"), QDialog::Rejected, QStringLiteral("CancelButton"));
    addButton(QStringLiteral("Ok"), QDialog::Accepted, QStringLiteral("OkButton"));
    finishLayout();
}
