// SPDX-License-Identifier: GPL-3.0-or-later
// The chart lookup by patient number and the chart list over the patient's folder: the number
// check, the folder of the archive layout, the four styles, opening, going up, refreshing,
// properties and renaming in place, each through the keys and clicks the operator uses.

#include "index/chartindexschema.h"
#include "index/windows/tpdfviewerform.h"
#include "index/windows/tview.h"
#include "inquirytesting.h"
#include "platform/registryfile.h"
#include "settings/tregistory.h"

#include <QAbstractItemView>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

using Command = TMainForm::Command;

class LookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_base = m_dir.filePath("archive");
        TRegistory settings;
        settings.Target = m_base;
        settings.L1Front = "P";
        RegistryFile registry;
        settings.SaveToRegistry(registry);
        ASSERT_TRUE(registry.save(m_dir.filePath("registry.reg")));
        QString error;
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath("program")));
        ASSERT_TRUE(
            chartindex::createEmptyIndex(m_dir.filePath("program/" + chartindex::fileName), &error))
            << error.toStdString();
        m_form = startMainWindow(
            {m_dir.filePath("program"), m_dir.filePath("registry.reg"), &m_prompts, &m_opener});
        m_lookup = m_form->findChild<TPdfViewerForm*>();
        m_view = m_form->findChild<TView*>();
        ASSERT_TRUE(m_lookup && m_view);
    }

    /// The patient folder of \p pidno under the layout above, with \p files in it.
    QString makePatientFolder(const QString& pidno8, const QStringList& files) {
        const QString folder = QStringLiteral("%1/P%2/%3/%4/%5")
                                   .arg(m_base, pidno8.mid(0, 2), pidno8.mid(2, 2),
                                        pidno8.mid(4, 2), pidno8.mid(6, 2));
        EXPECT_TRUE(QDir().mkpath(folder));
        for (const QString& name : files) {
            QFile file(QDir(folder).filePath(name));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("%PDF-1.4\n");
        }
        return folder;
    }

    /// Types \p number, clicks "照会"; the chart list, when it opens, is handed to \p inList.
    void lookUp(const QString& number, const std::function<void(TView&)>& inList = {}) {
        QLineEdit* box = m_lookup->pidNo();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, number);
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) -> int {
            auto& view = static_cast<TView&>(d);
            view.show();
            EXPECT_TRUE(QTest::qWaitFor([&] { return loaded(view); }, 5000));
            QTest::qWait(50); // the model sorts what it read a moment later
            if (inList) {
                inList(view);
            }
            view.hide();
            return int(QDialog::Rejected);
        });
        QTest::mouseClick(m_lookup->lookupButton(), Qt::LeftButton);
        m_prompts.dialogAnswers.clear();
    }

    /// Whether the list shows its folder with every entry read.
    static bool loaded(TView& view) {
        QFileSystemModel* model = view.model();
        const QModelIndex root = model->index(view.folder());
        return root.isValid() &&
               model->rowCount(root) == QDir(view.folder())
                                            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                       QDir::Hidden | QDir::System)
                                            .size();
    }

    /// A double click as the window system delivers it: press, release, double click, release.
    static void doubleClick(QWidget* widget, QPoint at) {
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
        QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
        QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
    }

    static QStringList shownNames(TView& view) {
        QStringList names;
        QAbstractItemView* shown = view.currentView();
        const QModelIndex root = shown->rootIndex();
        for (int row = 0; row < view.model()->rowCount(root); ++row) {
            names << view.model()->index(row, 0, root).data().toString();
        }
        return names;
    }

    QTemporaryDir m_dir;
    QString m_base;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;
    std::unique_ptr<TMainForm> m_form;
    TPdfViewerForm* m_lookup = nullptr;
    TView* m_view = nullptr;
};

TEST_F(LookupTest, TheNumberIsCheckedAndItsFolderMustExist) {
    makePatientFolder("99999999", {"99999999_000.pdf"});
    clickMenuEntry(*m_form, m_form->command(Command::PatientLookup));
    EXPECT_EQ(m_prompts.shownDialogs, QStringList{"PdfViewerForm"});
    m_lookup->show();
    EXPECT_EQ(m_lookup->windowTitle(), "カルテ照会");
    struct Case {
        QString typed;
        QString error;
    };
    const std::vector<Case> cases{
        {"99999999", ""},
        {"0", "患者番号エラー"},
        {"100000000", "患者番号エラー"},
        {"-1", "患者番号エラー"},
        {"12a", "患者番号エラー"},
        {"", "患者番号エラー"},
        {"1", "接続エラー"},
        // Blanks and a sign before the digits, as every number box reads them; nothing after.
        {" +99999999", ""},
        {"99999999 ", "患者番号エラー"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const int shownBefore = int(m_prompts.shownDialogs.count("View"));
        lookUp(c.typed);
        EXPECT_EQ(m_lookup->errorText(), c.error);
        EXPECT_EQ(m_prompts.shownDialogs.count("View"), shownBefore + (c.error.isEmpty() ? 1 : 0));
        EXPECT_EQ(m_lookup->pidNo()->text(), c.typed); // the number stays in its box
    }
    m_lookup->hide();
}

TEST_F(LookupTest, EachLookupShowsThatPatientsFolderSortedByName) {
    const QString first = makePatientFolder("00000042", {"b.pdf", "a.pdf", "c.txt"});
    makePatientFolder("00000043", {});
    QDir(first).mkdir("old");
    m_lookup->show();
    lookUp("42", [&](TView& view) {
        EXPECT_EQ(view.folder(), first);
        EXPECT_EQ(view.viewStyle(), TView::Style::Details);
        EXPECT_EQ(shownNames(view), (QStringList{"old", "a.pdf", "b.pdf", "c.txt"}));
    });
    lookUp("43", [&](TView& view) { EXPECT_EQ(shownNames(view), QStringList()); });
    // Showing the lookup again empties the box and the message.
    m_lookup->hide();
    m_lookup->show();
    EXPECT_EQ(m_lookup->pidNo()->text(), "");
    EXPECT_EQ(m_lookup->errorText(), "");
    m_lookup->hide();
}

TEST_F(LookupTest, TheChartListIsSteeredByItsButtonsAndKeys) {
    const QString folder = makePatientFolder("00000007", {"00000007_000.pdf"});
    QDir(folder).mkdir("sub");
    makePatientFolder("00000008", {});
    m_lookup->show();
    lookUp("7", [&](TView& view) {
        // The style buttons, left to right; the style chosen stays for the next lookup.
        for (auto style :
             {TView::Style::LargeIcons, TView::Style::List, TView::Style::SmallIcons}) {
            QTest::mouseClick(view.styleButton(style), Qt::LeftButton);
            EXPECT_EQ(view.viewStyle(), style);
            EXPECT_TRUE(view.currentView()->isVisible());
        }
        // Enter on a file opens it with its default application.
        QAbstractItemView* list = view.currentView();
        list->setFocus();
        list->setCurrentIndex(view.indexOf("00000007_000.pdf"));
        QTest::keyClick(list, Qt::Key_Return);
        EXPECT_EQ(m_opener.opened,
                  QList<QUrl>{QUrl::fromLocalFile(QDir(folder).filePath("00000007_000.pdf"))});

        // A double click on a folder enters it; Backspace goes up, but never above the base.
        list->doItemsLayout();
        const QRect sub = list->visualRect(view.indexOf("sub"));
        doubleClick(list->viewport(), sub.center());
        EXPECT_EQ(view.folder(), folder + "/sub");
        for (int up = 0; up < 8; ++up) {
            QTest::keyClick(view.currentView(), Qt::Key_Backspace);
        }
        EXPECT_EQ(view.folder(), m_base);

        // F5 reads the folder again.
        QDir(m_base).mkdir("new");
        QTest::keyClick(view.currentView(), Qt::Key_F5);
        EXPECT_TRUE(QTest::qWaitFor([&] { return view.indexOf("new").isValid(); }));
    });
    lookUp("8", [&](TView& view) { EXPECT_EQ(view.viewStyle(), TView::Style::SmallIcons); });
    m_lookup->hide();
}

TEST_F(LookupTest, PropertiesAndRenamingInPlaceNeverOverwriteAChart) {
    const QString folder = makePatientFolder("00000009", {"00000009_000.pdf", "00000009_001.pdf"});
    const QString keep = QDir(folder).filePath("00000009_001.pdf");
    QFile::resize(keep, 1234);
    m_lookup->show();
    lookUp("9", [&](TView& view) {
        QTest::mouseClick(view.styleButton(TView::Style::Details), Qt::LeftButton);
        QAbstractItemView* list = view.currentView();
        list->setFocus();
        list->setCurrentIndex(view.indexOf("00000009_001.pdf"));
        QTest::keyClick(list, Qt::Key_Return, Qt::AltModifier);
        TFileProperties* properties = view.properties();
        EXPECT_TRUE(properties->isVisible());
        EXPECT_EQ(properties->value("名前"), "00000009_001.pdf");
        EXPECT_EQ(properties->value("場所"), folder);
        EXPECT_TRUE(properties->value("サイズ").contains("1,234 バイト"));
        EXPECT_TRUE(properties->value("アクセス権").startsWith("rw"));
        properties->reject();

        // F2 renames in place; a name that is taken is refused and both files stay as they are.
        list->setCurrentIndex(view.indexOf("00000009_000.pdf"));
        QTest::keyClick(list, Qt::Key_F2);
        QWidget* editor = QApplication::focusWidget();
        ASSERT_TRUE(qobject_cast<QLineEdit*>(editor));
        static_cast<QLineEdit*>(editor)->setText("00000009_001.pdf");
        QTest::keyClick(editor, Qt::Key_Return);
        EXPECT_TRUE(QFile::exists(QDir(folder).filePath("00000009_000.pdf")));
        EXPECT_EQ(QFileInfo(keep).size(), 1234);

        list->setCurrentIndex(view.indexOf("00000009_000.pdf"));
        QTest::keyClick(list, Qt::Key_F2);
        editor = QApplication::focusWidget();
        ASSERT_TRUE(qobject_cast<QLineEdit*>(editor));
        static_cast<QLineEdit*>(editor)->setText("renamed.pdf");
        QTest::keyClick(editor, Qt::Key_Return);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return QFile::exists(QDir(folder).filePath("renamed.pdf")); }));
        EXPECT_FALSE(QFile::exists(QDir(folder).filePath("00000009_000.pdf")));
    });
    m_lookup->hide();
}

} // namespace
