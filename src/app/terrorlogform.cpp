// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/terrorlogform.h"

#include "platform/userprompts.h"

#include <QPlainTextEdit>
#include <QStatusBar>
#include <QVBoxLayout>

TErrorLogForm::TErrorLogForm(UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_prompts(prompts) {
    setObjectName(QStringLiteral("ErrorLogForm"));
    setWindowTitle(QStringLiteral("エラーログ"));
    resize(640, 360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("ErrorLogText"));
    m_text->setAccessibleName(QStringLiteral("エラーログ"));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(m_text);
    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    layout->addWidget(status);
}

void TErrorLogForm::addLine(const QString& line) {
    m_text->appendPlainText(line);
}

void TErrorLogForm::clearLog() {
    m_text->clear();
}

QStringList TErrorLogForm::lines() const {
    const QString text = m_text->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

void TErrorLogForm::execute() {
    m_prompts.exec(*this);
}
