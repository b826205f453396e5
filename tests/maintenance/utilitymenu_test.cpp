// SPDX-License-Identifier: GPL-3.0-or-later
// The "ユーティリティ" menu of the main window opens the three maintenance windows.

#include "app/tmainform.h"
#include "index/maintenance/statuspanels.h"
#include "index/maintenance/tdbregchkform.h"
#include "maintenancetesting.h"
#include "settings/tregistory.h"
#include "support/mainwindow.h"

#include <QLabel>

using Panel = StatusPanels::Panel;

class UtilityMenuTest : public MaintenanceTest {
protected:
    void SetUp() override {
        MaintenanceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        m_main = startMainWindow({m_testbed->folder(), {}, &m_prompts, &m_opener});
        ASSERT_TRUE(m_main->chartIndex().isOpen());
    }

    /// Clicks \p which in the menu and returns the status panels of the window it showed.
    template <typename Check>
    void open(TMainForm::Command which, const QString& window, Check check) {
        m_prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
            check(dialog);
            return int(QDialog::Rejected);
        });
        clickMenuEntry(m_main->menuBar(), m_main->command(which));
        ASSERT_EQ(m_prompts.shownDialogs.value(m_prompts.shownDialogs.size() - 1), window);
    }

    FakeUrlOpener m_opener;
    std::unique_ptr<TMainForm> m_main;
};

TEST_P(UtilityMenuTest, EachEntryShowsItsWindow) {
    addRow(3, archivePath("a.pdf"));
    addRow(4, archivePath("b.pdf"));

    open(TMainForm::Command::ExistenceCheck, "PeloraExistForm", [](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "カルテ存在確認");
        EXPECT_TRUE(dialog.findChild<StatusPanels*>()->text(Panel::Message).isEmpty());
    });
    open(TMainForm::Command::Maintenance, "DBMainteForm", [](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "データベースメンテナンス（全件）");
        auto* panels = dialog.findChild<StatusPanels*>();
        EXPECT_TRUE(QTest::qWaitFor([&] { return panels->text(Panel::Count) == "2"; }))
            << panels->text(Panel::Count).toStdString();
    });

    m_main->settings().KeyLabel2 = "部位";
    m_main->settings().DBRegist = true;
    open(TMainForm::Command::RegistrationCheck, "DBRegChkForm", [](QDialog& dialog) {
        auto& form = static_cast<TDBRegChkForm&>(dialog);
        EXPECT_EQ(form.windowTitle(), "カルテ登録確認");
        EXPECT_EQ(form.keyLabel(1)->text(), "部位");
        EXPECT_TRUE(form.registerOption()->isChecked());
        form.registerOption()->trigger(); // unchecked, and kept when the window closes
    });
    EXPECT_FALSE(m_main->settings().DBRegist);
}

PELORA_INSTANTIATE_BACKENDS(UtilityMenuTest);
