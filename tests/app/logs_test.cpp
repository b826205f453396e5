// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/creationlog.h"
#include "app/terrorlogform.h"
#include "app/tlog.h"
#include "app/tmainform.h"
#include "index/chartindexschema.h"
#include "settings/tregistory.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"

#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

FileChoice chosen(const QString& path) {
    FileChoice choice;
    choice.accepted = true;
    choice.files = {path};
    return choice;
}

} // namespace

class LogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;

    std::unique_ptr<TMainForm> startMainForm() {
        QTemporaryDir* folder = new QTemporaryDir; // lives with the window
        QString error;
        chartindex::createEmptyIndex(folder->filePath(chartindex::fileName), &error);
        auto form = startMainWindow({folder->path(), {}, &m_prompts, &m_opener});
        connect(form.get(), &QObject::destroyed, [folder] { delete folder; });
        return form;
    }

private slots:
    void init() { m_prompts = FakePrompts(); }

    void lineFormatKeepsKeywordsWhole() {
        const QString sixty(30, QChar(0x80F8)); // 60 bytes in code page 932
        QCOMPARE(CreationLog::lineFor(1234567, "/charts/01/23/45/67/HP1234_1234567_2_2024_3_5.pdf",
                                      {"A1", "", "B2", ""}),
                 QStringLiteral("1234567,/charts/01/23/45/67/"
                                "HP1234_1234567_2_2024_3_5.pdf,\"A1\",\"\",\"B2\",\"\""));
        QCOMPARE(CreationLog::lineFor(5, "/p.pdf", {sixty, "say \"hi\"", "", ""}),
                 QStringLiteral("5,/p.pdf,\"") + sixty +
                     QStringLiteral("\",\"say \"hi\"\",\"\",\"\""));
    }

    void appendSaveWritesEveryLineEachTime() {
        CreationLog log;
        log.addLine(QStringLiteral("1,/a.pdf,\"胸部\",\"\",\"\",\"\""));
        log.addLine(QStringLiteral("2,/b.pdf,\"€\",\"\",\"\",\"\""));
        TRegistory settings;
        TLog window(log, settings, m_prompts);
        const QString path = m_dir.filePath("logs/created.txt");
        QDir().mkpath(m_dir.filePath("logs"));

        m_prompts.fileChoices.enqueue(FileChoice{}); // cancelled: nothing happens
        window.appendSave();
        QVERIFY(!QFile::exists(path));
        QVERIFY(log.isModified());

        m_prompts.fileChoices.enqueue(chosen(path));
        window.appendSave();
        m_prompts.fileChoices.enqueue(chosen(path));
        window.appendSave();
        const QByteArray once =
            "1,/a.pdf,\"\x8b\xb9\x95\x94\",\"\",\"\",\"\"\r\n2,/b.pdf,\"?\",\"\",\"\",\"\"\r\n";
        QCOMPARE(readAll(path), once + once);
        QVERIFY(!log.isModified());
        QCOMPARE(settings.LogOutFolder, m_dir.filePath("logs"));
        QCOMPARE(m_prompts.fileDialogs.at(0).filter, QStringLiteral("テキスト|*.txt"));
        QCOMPARE(m_prompts.fileDialogs.at(0).defaultSuffix, QStringLiteral(".txt"));
        QCOMPARE(log.lines().size(), 2); // the lines stay
    }

    void appendSaveFailures() {
        CreationLog log;
        log.addLine("1,/a.pdf,\"\",\"\",\"\",\"\"");
        TRegistory settings;
        TLog window(log, settings, m_prompts);

        m_prompts.fileChoices.enqueue(chosen("/dev/full")); // every write fails: disk full
        window.appendSave();
        QCOMPARE(window.statusText(), QStringLiteral("*** ファイル追加エラーが発生しました。"));
        QVERIFY(log.isModified());

        m_prompts.fileChoices.enqueue(chosen(m_dir.filePath("no/such/folder/log.txt")));
        window.findChild<QAction*>("AppendSave")->trigger();
        QCOMPARE(m_prompts.errors.size(), 1); // the general error report
        QVERIFY(m_prompts.errors.at(0).contains("log.txt"));
        QVERIFY(log.isModified());
    }

    void exitQuestionGuardsUnsavedLines() {
        auto form = startMainForm();
        form->creationLog().addLine("1,/a.pdf,\"\",\"\",\"\",\"\"");

        m_prompts.questionAnswers.enqueue(QMessageBox::No);
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(m_prompts.questions,
                 QStringList{"ログファイルが追加保存されていません。終了しますか？"});
        QVERIFY(!QFile::exists(form->services().settingsPath)); // no closing step ran

        m_prompts.answerNextDialog(QDialog::Rejected); // "Cancel" keeps the log
        form->command(TMainForm::Command::ClearLog)->trigger();
        QVERIFY(form->creationLog().isModified());
        m_prompts.answerNextDialog(QDialog::Accepted); // "Ok" clears it
        form->command(TMainForm::Command::ClearLog)->trigger();
        QVERIFY(form->creationLog().lines().isEmpty());
        QCOMPARE(m_prompts.shownDialogs, (QStringList{"LogWarningForm", "LogWarningForm"}));

        QVERIFY(form->close()); // nothing unsaved: no question
        QCOMPARE(m_prompts.questions.size(), 1);
        QVERIFY(QFile::exists(form->services().settingsPath));
    }

    void exitQuestionYesClosesWithoutAppending() {
        auto form = startMainForm();
        form->creationLog().addLine("1,/a.pdf,\"\",\"\",\"\",\"\"");
        m_prompts.questionAnswers.enqueue(QMessageBox::Yes);
        QVERIFY(form->close());
        QVERIFY(m_prompts.fileDialogs.isEmpty());
    }

    void errorLogKeepsLinesAndEditsUntilCleared() {
        auto form = startMainForm();
        TErrorLogForm* errors = form->errorLog();
        errors->addLine("/charts/01/HP_1_0.pdf OverWrite Error");
        errors->addLine("/charts/02/HP_2_0.pdf OverWrite Error");
        errors->textArea()->appendPlainText("operator note");
        form->command(TMainForm::Command::ShowErrorLog)->trigger();
        QCOMPARE(m_prompts.shownDialogs.last(), QStringLiteral("ErrorLogForm"));
        QCOMPARE(errors->lines().size(), 3);
        form->command(TMainForm::Command::ClearErrorLog)->trigger();
        QVERIFY(errors->lines().isEmpty());
    }
};

QTEST_MAIN(LogsTest)
#include "logs_test.moc"
