// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/windows/tpdfviewerform.h"

#include "index/windows/indexmessages.h"
#include "index/windows/tview.h"
#include "platform/userprompts.h"
#include "settings/integertext.h"
#include "settings/tpathstring.h"
#include "settings/tregistory.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TPdfViewerForm::TPdfViewerForm(const TRegistory& settings, TView& view, UserPrompts& prompts,
                               QWidget* parent)
    : QDialog(parent), m_settings(settings), m_view(view), m_prompts(prompts) {
    setObjectName(QStringLiteral("PdfViewerForm"));
    setWindowTitle(QStringLiteral("カルテ照会"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    auto* caption = new QLabel(QStringLiteral("患者番号"), this);
    m_pidNo = new QLineEdit(this);
    m_pidNo->setObjectName(QStringLiteral("PidNo"));
    m_pidNo->setMaxLength(12);
    caption->setBuddy(m_pidNo);
    m_lookup = new QPushButton(QStringLiteral("照会"), this);
    m_lookup->setObjectName(QStringLiteral("LookupButton"));
    m_lookup->setDefault(true); // Enter in the number box looks it up
    m_errorDisp = new QLabel(this);
    m_errorDisp->setObjectName(QStringLiteral("ErrorDisp"));
    QPalette red = m_errorDisp->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    m_errorDisp->setPalette(red);
    connect(m_lookup, &QPushButton::clicked, this, &TPdfViewerForm::lookUp);

    auto* layout = new QGridLayout(this);
    layout->addWidget(caption, 0, 0);
    layout->addWidget(m_pidNo, 0, 1);
    layout->addWidget(m_lookup, 0, 2);
    layout->addWidget(m_errorDisp, 1, 0, 1, 3);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString TPdfViewerForm::errorText() const {
    return m_errorDisp->text();
}

int TPdfViewerForm::patientNumber(const QString& text) {
    // As every number box reads its text: blanks and a sign before the digits, nothing after.
    const std::optional<int> number = parseSignedInteger(text);
    return number && *number > 0 && *number < TPathString::NumberModulus ? *number : 0;
}

void TPdfViewerForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_pidNo->clear();
    m_errorDisp->clear();
    m_pidNo->setFocus();
    if (QWidget* over = parentWidget()) {
        move(over->frameGeometry().center() - rect().center());
    }
}

void TPdfViewerForm::lookUp() {
    m_errorDisp->clear();
    const int number = patientNumber(m_pidNo->text());
    if (number == 0) {
        m_errorDisp->setText(indexmessages::PatientNumberError);
        return;
    }
    TPathString path;
    path.setLayout(m_settings);
    path.SetNumber(number);
    const QString folder = path.Folder();
    if (!QFileInfo(folder).isDir()) {
        m_errorDisp->setText(indexmessages::ConnectionError);
        return;
    }
    m_view.setFolder(folder, path.BaseFolder);
    m_prompts.exec(m_view);
}
