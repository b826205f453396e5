// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogtest.h"
#include "settings/tfilesetform.h"
#include "support/fakeprompts.h"

#include <QLineEdit>

using namespace dialogtest;

class TFileSetFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_owner; // stands in for the main window
    TFileSetForm* m_dialog = nullptr;
    FakePrompts m_prompts;
    TRegistory m_settings;

private slots:
    void init() {
        m_owner = std::make_unique<QWidget>();
        m_owner->resize(734, 651);
        m_owner->show();
        m_dialog = new TFileSetForm(m_owner.get());
        m_prompts = FakePrompts();
        m_settings = TRegistory();
        m_settings.KeyLabel1 = QStringLiteral("部位");
        m_settings.KeyLabel2 = QStringLiteral("診療科");
        m_settings.KeyLabel4 = QStringLiteral("abc");
    }
    void cleanup() { m_owner.reset(); }

    void labelsCutAt12Bytes_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("seven full-width") << "あいうえおかき"
                                          << "あいうえおか";
        QTest::newRow("twelve half-width") << "abcdefghijkl"
                                           << "abcdefghijkl";
        QTest::newRow("thirteen half-width") << "abcdefghijklm"
                                             << "abcdefghijkl";
        QTest::newRow("double-byte across the limit") << "abcdefghijk漢"
                                                      << "abcdefghijk";
        QTest::newRow("half-width katakana count one byte") << "ｱｲｳｴｵｶｷｸｹｺｻｼｽ"
                                                            << "ｱｲｳｴｵｶｷｸｹｺｻｼ";
        QTest::newRow("emptied") << ""
                                 << "";
    }
    void labelsCutAt12Bytes() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QString filled;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            filled = child<QLineEdit>(d, "LblEdit2")->text();
            child<QLineEdit>(d, "LblEdit2")->setText(typed);
            click(d, "Button1");
            return d.result();
        });
        m_dialog->Execute(m_settings, m_prompts);
        QCOMPARE(filled, QStringLiteral("診療科"));
        QCOMPARE(m_settings.KeyLabel2, stored);
        QCOMPARE(m_settings.KeyLabel1, QStringLiteral("部位"));
        QCOMPARE(m_settings.KeyLabel3, QString());
        QCOMPARE(m_settings.KeyLabel4, QStringLiteral("abc"));
    }

    void closingByEscapeStoresToo() {
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            child<QLineEdit>(d, "LblEdit3")->setText("あいうえおかき");
            QTest::keyClick(&d, Qt::Key_Escape);
            return d.isVisible() ? -1 : d.result();
        });
        m_dialog->Execute(m_settings, m_prompts);
        QCOMPARE(m_settings.KeyLabel3, QStringLiteral("あいうえおか"));
    }

    void closingUntouchedChangesNothing() {
        const TRegistory before = m_settings;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            click(d, "Button1");
            return d.result();
        });
        m_dialog->Execute(m_settings, m_prompts);
        QCOMPARE(differences(before, m_settings), QStringList());
        QCOMPARE(m_prompts.shownDialogs, QStringList{"FileSetForm"});
    }
};

QTEST_MAIN(TFileSetFormTest)
#include "tfilesetform_test.moc"
