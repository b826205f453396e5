// SPDX-License-Identifier: GPL-3.0-or-later
// The program's start: the setup dialog of a first start, written before the main window opens,
// and the settings dialogs that write the settings file when their OK is pressed.

#include "app/programstart.h"
#include "app/tmainform.h"
#include "index/chartindexschema.h"
#include "settings/dialogtest.h"
#include "settings/firststartdialog.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"
#include "support/typetext.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class FirstStartTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString settingsPath() const { return path("config/Tovani/registry.reg"); }
    AppServices services() const {
        AppServices services;
        services.programFolder = m_dir->path();
        services.settingsPath = settingsPath();
        services.prompts = const_cast<FakePrompts*>(&m_prompts);
        services.urlOpener = const_cast<FakeUrlOpener*>(&m_opener);
        return services;
    }
    static bool mainWindowExists() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<TMainForm*>(widget)) {
                return true;
            }
        }
        return false;
    }
    TRegistory storedSettings() const {
        TRegistory settings;
        SettingsFile(settingsPath()).load(settings);
        return settings;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_prompts = FakePrompts();
        m_opener.opened.clear();
        QString error;
        QVERIFY2(chartindex::createEmptyIndex(path(chartindex::fileName), &error),
                 qPrintable(error));
        qputenv("HOME", m_dir->path().toUtf8());
    }

    void setupIsClickedThroughAndWrittenBeforeTheMainWindowOpens() {
        // What the clicks found, checked once the dialog has returned (a check inside the
        // answer could not stop the test).
        QStringList proposals;
        QStringList refusals;
        bool refusedWithoutWriting = true;
        bool writtenBeforeMainWindow = false;
        m_prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
            dialogtest::show(dialog);
            auto* scanner = dialogtest::child<QLineEdit>(dialog, "ScannerDirEdit");
            auto* target = dialogtest::child<QLineEdit>(dialog, "TargetEdit");
            auto* status = dialogtest::child<QLabel>(dialog, "StatusField");
            proposals << scanner->text() << target->text();

            // Refused, each with the dialog kept open and nothing written: the home folder
            // itself, the root, and the archive inside the scanner folder.
            const QList<std::pair<QLineEdit*, QString>> refused{
                {target, m_dir->path()}, {scanner, "/"}, {target, path("scan/charts")}};
            for (const auto& [field, text] : refused) {
                retypeText(field, text);
                dialogtest::click(dialog, "SetButton");
                refusals << status->text();
                refusedWithoutWriting &= dialog.isVisible() && !QFile::exists(settingsPath());
                retypeText(scanner, path("scan"));
                retypeText(target, path("charts"));
            }

            retypeText(dialogtest::child<QLineEdit>(dialog, "HPCodeEdit"), "1312345678");
            dialogtest::clickIndicator(dialogtest::child<QCheckBox>(dialog, "FirstPageCheck"));
            dialogtest::click(dialog, "SetButton");
            writtenBeforeMainWindow = QFile::exists(settingsPath()) && !mainWindowExists();
            return dialog.result();
        });
        const std::unique_ptr<TMainForm> form = startProgram(services());
        QCOMPARE(m_prompts.shownDialogs.first(), QStringLiteral("FirstStart"));
        // The defaults name the home folder; the dialog proposes folders below it.
        QCOMPARE(proposals, (QStringList{path("スキャナ"), path("カルテ")}));
        QVERIFY(refusedWithoutWriting);
        QCOMPARE(refusals, (QStringList{FirstStartDialog::HomeFolderRefusedText,
                                        FirstStartDialog::HomeFolderRefusedText,
                                        FirstStartDialog::SameFolderRefusedText}));
        QVERIFY(writtenBeforeMainWindow);
        QVERIFY(form && form->isVisible());

        const TRegistory stored = storedSettings();
        QCOMPARE(stored.ScannerDir, path("scan"));
        QCOMPARE(stored.Target, path("charts"));
        QCOMPARE(stored.HPCode, QStringLiteral("1312345678"));
        QVERIFY(stored.FirstPage);
        QVERIFY(QFileInfo(path("scan")).isDir() && QFileInfo(path("charts")).isDir());
        QCOMPARE(form->settings().Target, path("charts"));
    }

    void cancellingTheSetupEndsTheStartWithoutWriting() {
        m_prompts.dialogAnswers.enqueue([](QDialog& dialog) {
            dialogtest::show(dialog);
            dialogtest::click(dialog, "CancelButton");
            return dialog.result();
        });
        QVERIFY(!startProgram(services()));
        QVERIFY(!QFile::exists(settingsPath()));
        QVERIFY(!mainWindowExists());
    }

    void aSettingsFileSkipsTheSetup() {
        QString error;
        QVERIFY2(SettingsFile(settingsPath()).save(TRegistory(), &error), qPrintable(error));
        const std::unique_ptr<TMainForm> form = startProgram(services());
        QVERIFY(form);
        QVERIFY(!m_prompts.shownDialogs.contains(QStringLiteral("FirstStart")));
    }

    void settingsDialogsWriteTheFileWhenTheirOkIsPressed() {
        QString error;
        QVERIFY2(SettingsFile(settingsPath()).save(TRegistory(), &error), qPrintable(error));
        const std::unique_ptr<TMainForm> form =
            startMainWindow({m_dir->path(), settingsPath(), &m_prompts, &m_opener});
        QApplication::setActiveWindow(form.get());

        // "保存設定" opened from its menu: cancelled, the file stays; "設定", it is written.
        auto openSaveSettings = [&] {
            QAction* entry = form->command(TMainForm::Command::SaveSettings);
            auto* menu = qobject_cast<QMenu*>(entry->parent());
            QMenuBar* bar = form->menuBar();
            QTest::mouseClick(bar, Qt::LeftButton, {},
                              bar->actionGeometry(menu->menuAction()).center());
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
            QTRY_VERIFY(!menu->isVisible());
        };
        for (const char* button : {"Button1", "Button2"}) { // キャンセル, 設定
            m_prompts.dialogAnswers.enqueue([button](QDialog& dialog) {
                dialogtest::show(dialog);
                retypeText(dialogtest::child<QLineEdit>(dialog, "HPCodeEdit"), "77");
                dialogtest::click(dialog, button);
                return dialog.result();
            });
            openSaveSettings();
            QCOMPARE(storedSettings().HPCode, QString(button == QByteArray("Button2") ? "77" : ""));
        }
    }
};

QTEST_MAIN(FirstStartTest)
#include "firststart_test.moc"
