// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tlog.h"

#include "app/creationlog.h"
#include "platform/userprompts.h"
#include "settings/tregistory.h"

#include <QFileInfo>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QVBoxLayout>
#include <stdexcept>

TLog::TLog(CreationLog& log, TRegistory& settings, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_log(log), m_settings(settings), m_prompts(prompts) {
    setObjectName(QStringLiteral("Log"));
    setWindowTitle(QStringLiteral("作成ログ"));
    resize(640, 400);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* menuBar = new QMenuBar(this);
    QMenu* file = menuBar->addMenu(QStringLiteral("ファイル"));
    QAction* append = file->addAction(QStringLiteral("追加保存"));
    append->setObjectName(QStringLiteral("AppendSave"));
    file->addSeparator();
    QAction* closeAction = file->addAction(QStringLiteral("閉じる"));
    closeAction->setObjectName(QStringLiteral("Close"));
    layout->setMenuBar(menuBar);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("LogText"));
    m_text->setAccessibleName(QStringLiteral("保存ログ"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(m_text);
    m_status = new QStatusBar(this);
    m_status->setSizeGripEnabled(false);
    layout->addWidget(m_status);

    connect(append, &QAction::triggered, this, [this] {
        try {
            appendSave();
        } catch (const std::exception& error) {
            m_prompts.showError(this, QString::fromUtf8(error.what())); // the general error report
        }
    });
    connect(closeAction, &QAction::triggered, this, &QDialog::accept);
}

void TLog::execute() {
    m_text->setPlainText(m_log.lines().join(u'\n'));
    m_status->clearMessage();
    m_prompts.exec(*this);
}

QString TLog::statusText() const {
    return m_status->currentMessage();
}

void TLog::appendSave() {
    const FileChoice choice = m_prompts.saveFile(
        this, m_settings.LogOutFolder, QStringLiteral("テキスト|*.txt"), QStringLiteral(".txt"));
    if (!choice.accepted || choice.files.isEmpty()) {
        return;
    }
    const QString path = choice.files.first();
    m_settings.LogOutFolder = QFileInfo(path).absolutePath();
    QString error;
    switch (m_log.appendTo(path, &error)) {
    case CreationLog::AppendResult::Appended:
        m_status->clearMessage();
        m_log.markAppended();
        break;
    case CreationLog::AppendResult::WriteFailed:
        m_status->showMessage(QStringLiteral("*** ファイル追加エラーが発生しました。"));
        break;
    case CreationLog::AppendResult::OpenFailed:
        throw std::runtime_error(error.toStdString());
    }
}
