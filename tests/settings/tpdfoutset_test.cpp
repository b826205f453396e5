// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogtest.h"
#include "settings/foldertree.h"
#include "settings/tdeletewarningform.h"
#include "settings/tpdfoutset.h"
#include "support/fakeprompts.h"

#include <QDir>
#include <QFileSystemModel>
#include <QFocusEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>

using namespace dialogtest;

class TPdfOutSetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_owner; // stands in for the main window
    TPdfOutSet* m_dialog = nullptr;
    FakePrompts m_prompts;
    TRegistory m_settings;
    QTemporaryDir m_folders;

    QString folder(const QString& name) { return makeFolder(m_folders, name); }
    void chooseInTree(const QString& path) {
        dialogtest::chooseInTree(m_dialog->folderTree(), path);
    }

    QLineEdit* edit(const char* name) { return child<QLineEdit>(*m_dialog, name); }

    /// Name of the control that had the focus right after the last click on "設定".
    QString m_focusAfterSet;

    /// Runs the dialog: \p steps act on it, then "設定" is clicked. Returns the status text
    /// after the click, or "accepted" when the dialog closed; a dialog left open is cancelled.
    QString runAndSet(const std::function<void()>& steps) {
        QString outcome;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            steps();
            click(d, "Button2");
            m_focusAfterSet = d.focusWidget() ? d.focusWidget()->objectName() : QString();
            outcome = d.isVisible() ? m_dialog->statusText() : QStringLiteral("accepted");
            if (d.isVisible()) {
                click(d, "Button1");
            }
            return d.result();
        });
        const bool accepted = m_dialog->Execute(m_settings, m_prompts);
        if (accepted != (outcome == "accepted")) {
            return QStringLiteral("Execute returned %1 after %2").arg(accepted).arg(outcome);
        }
        return outcome;
    }

private slots:
    void init() {
        m_owner = std::make_unique<QWidget>();
        m_owner->resize(734, 651);
        m_owner->show();
        m_dialog = new TPdfOutSet(m_owner.get());
        m_prompts = FakePrompts();
        m_settings = TRegistory();
        m_settings.Target = folder("archive");
        m_settings.ScannerDir = folder("scans");
        m_settings.PdfPageHeight = 500;
        m_settings.PdfPageWidth = 300;
        m_settings.L2Front = QStringLiteral("ID");
    }
    void cleanup() { m_owner.reset(); }

    void validation_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("outcome");
        const QString ok = "accepted";
        const QString baseError = "ベースフォルダーエラー";
        const QString notNumber = "縦:数値エラー";
        const QString tooSmall = "縦か横のサイズが少ないエラー";
        const QString eleven = "abcdefghijk";
        // base: "archive" is an existing folder, "" stays empty, other names are used as typed.
        QTest::newRow("all valid") << "archive"
                                   << ""
                                   << ""
                                   << "1000"
                                   << "700" << ok;
        QTest::newRow("base folder missing") << "<gone>"
                                             << ""
                                             << ""
                                             << "1000"
                                             << "700" << baseError;
        QTest::newRow("base folder empty") << ""
                                           << ""
                                           << ""
                                           << "1000"
                                           << "700" << baseError;
        QTest::newRow("base folder relative") << "."
                                              << ""
                                              << ""
                                              << "1000"
                                              << "700" << baseError;
        QTest::newRow("base folder is a file") << "<file>"
                                               << ""
                                               << ""
                                               << "1000"
                                               << "700" << baseError;
        QTest::newRow("base folder checked first") << "<gone>"
                                                   << "L1F" << eleven << "x"
                                                   << "y" << baseError;
        QTest::newRow("level 3 prefix, 11 half-width") << "archive"
                                                       << "L3F" << eleven << "1000"
                                                       << "700"
                                                       << "フォルダー３サイズエラー";
        QTest::newRow("level 3 prefix, 5 full-width") << "archive"
                                                      << "L3F"
                                                      << "あいうえお"
                                                      << "1000"
                                                      << "700" << ok;
        QTest::newRow("level 3 prefix, 10 half-width katakana") << "archive"
                                                                << "L3F"
                                                                << "ｱｲｳｴｵｶｷｸｹｺ"
                                                                << "1000"
                                                                << "700" << ok;
        QTest::newRow("level 2 suffix, 11 bytes mixed") << "archive"
                                                        << "L2B"
                                                        << "abcdefghi漢"
                                                        << "1000"
                                                        << "700"
                                                        << "フォルダー２サイズエラー";
        QTest::newRow("level 1 before the numbers") << "archive"
                                                    << "L1F" << eleven << "x"
                                                    << "y"
                                                    << "フォルダー１サイズエラー";
        QTest::newRow("level 4 suffix, 6 full-width") << "archive"
                                                      << "L4B"
                                                      << "あいうえおか"
                                                      << "1000"
                                                      << "700"
                                                      << "フォルダー４サイズエラー";
        QTest::newRow("height not a number") << "archive"
                                             << ""
                                             << ""
                                             << "abc"
                                             << "700" << notNumber;
        QTest::newRow("height with a blank after") << "archive"
                                                   << ""
                                                   << ""
                                                   << "100 "
                                                   << "700" << notNumber;
        QTest::newRow("height past the int range") << "archive"
                                                   << ""
                                                   << ""
                                                   << "99999999999"
                                                   << "700" << notNumber;
        QTest::newRow("height before width") << "archive"
                                             << ""
                                             << ""
                                             << "x"
                                             << "y" << notNumber;
        QTest::newRow("width empty") << "archive"
                                     << ""
                                     << ""
                                     << "1000"
                                     << ""
                                     << "横:数値エラー";
        QTest::newRow("height 99") << "archive"
                                   << ""
                                   << ""
                                   << "99"
                                   << "700" << tooSmall;
        QTest::newRow("width 99") << "archive"
                                  << ""
                                  << ""
                                  << "1000"
                                  << "99" << tooSmall;
        QTest::newRow("height negative") << "archive"
                                         << ""
                                         << ""
                                         << "-1000"
                                         << "700" << tooSmall;
        QTest::newRow("height and width 100") << "archive"
                                              << ""
                                              << ""
                                              << "100"
                                              << "100" << ok;
        QTest::newRow("blanks and sign before") << "archive"
                                                << ""
                                                << ""
                                                << " +250"
                                                << "  4000" << ok;
    }
    void validation() {
        QFETCH(QString, base);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, height);
        QFETCH(QString, width);
        QFETCH(QString, outcome);
        QString typedBase = base;
        if (base == "archive") {
            typedBase = folder("archive");
        } else if (base == "<gone>") {
            typedBase = m_folders.filePath("gone");
        } else if (base == "<file>") {
            typedBase = m_folders.filePath("plain.txt");
            QFile file(typedBase);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const TRegistory before = m_settings;

        const QString result = runAndSet([&] {
            edit("PdfSetPathDisp")->setText(typedBase);
            if (!field.isEmpty()) {
                edit(field.toLatin1().constData())->setText(text);
            }
            edit("Edit1")->setText(height);
            edit("Edit2")->setText(width);
        });
        QCOMPARE(result, outcome);
        if (outcome == "accepted") {
            QCOMPARE(m_settings.PdfPageHeight, height.trimmed().toInt());
            QCOMPARE(m_settings.PdfPageWidth, width.trimmed().toInt());
            QCOMPARE(m_settings.Target, typedBase);
        } else {
            QCOMPARE(differences(before, m_settings), QStringList());
        }
    }

    void affixesThatNameAFolder_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("status");  // "accepted" when the dialog closes
        QTest::addColumn<QString>("message"); // of the message box
        const QString rule = "に「/」、「.」、「..」は使えません。";
        const QString ok = "accepted";
        QTest::newRow("parent of the parent") << "L1F"
                                              << "../../x"
                                              << "フォルダー１接頭エラー"
                                              << "フォルダー１の接頭" + rule;
        QTest::newRow("separator inside") << "L2B"
                                          << "a/b"
                                          << "フォルダー２接尾エラー"
                                          << "フォルダー２の接尾" + rule;
        QTest::newRow("separator alone") << "L1B"
                                         << "/"
                                         << "フォルダー１接尾エラー"
                                         << "フォルダー１の接尾" + rule;
        QTest::newRow("this folder") << "L3F"
                                     << "."
                                     << "フォルダー３接頭エラー"
                                     << "フォルダー３の接頭" + rule;
        QTest::newRow("parent folder") << "L4B"
                                       << ".."
                                       << "フォルダー４接尾エラー"
                                       << "フォルダー４の接尾" + rule;
        QTest::newRow("dot after") << "L1B"
                                   << "x." << ok << QString();
        QTest::newRow("dot before") << "L4F"
                                    << ".x" << ok << QString();
        QTest::newRow("three dots") << "L3B"
                                    << "..." << ok << QString();
        QTest::newRow("empty") << "L2F"
                               << "" << ok << QString();
    }
    void affixesThatNameAFolder() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, status);
        QFETCH(QString, message);
        const TRegistory before = m_settings;
        const QString result =
            runAndSet([&] { retypeText(edit(field.toLatin1().constData()), text); });
        QCOMPARE(result, status);
        if (status == "accepted") {
            QCOMPARE(m_prompts.errors, QStringList());
            return;
        }
        QCOMPARE(m_prompts.errors, QStringList{message});
        QCOMPARE(m_focusAfterSet, field);
        QCOMPARE(differences(before, m_settings), QStringList());
    }

    void acceptedAffixesAreStoredAsTyped() {
        const QString result = runAndSet([&] {
            retypeText(edit("L1F"), "x.");
            retypeText(edit("L2F"), "");
            retypeText(edit("L4B"), "...");
        });
        QCOMPARE(result, QStringLiteral("accepted"));
        QCOMPARE((QStringList{m_settings.L1Front, m_settings.L2Front, m_settings.L4Back}),
                 (QStringList{"x.", "", "..."}));
    }

    void affixCheckedAfterTheLengthOfItsLevel() {
        const QString result = runAndSet([&] {
            retypeText(edit("L2F"), "../abcdefghi"); // 12 bytes and not plain
        });
        QCOMPARE(result, QStringLiteral("フォルダー２サイズエラー"));
        QCOMPARE(m_focusAfterSet, QStringLiteral("L2F"));
        QCOMPARE(m_prompts.errors, QStringList());
    }

    void pageSideLimits_data() {
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("focus"); // of a refusal
        const QString tooLarge = "縦か横のサイズが大きいエラー";
        const QString tooSmall = "縦か横のサイズが少ないエラー";
        QTest::newRow("height 14400") << "14400"
                                      << "700"
                                      << "accepted" << QString();
        QTest::newRow("width 14400") << "1000"
                                     << "14400"
                                     << "accepted" << QString();
        QTest::newRow("height 14401") << "14401"
                                      << "700" << tooLarge << "Edit1";
        QTest::newRow("width 14401") << "1000"
                                     << "14401" << tooLarge << "Edit2";
        QTest::newRow("width 100000") << "1000"
                                      << "100000" << tooLarge << "Edit2";
        QTest::newRow("height 99") << "99"
                                   << "700" << tooSmall << "Edit1";
        QTest::newRow("width 99") << "1000"
                                  << "99" << tooSmall << "Edit2";
        QTest::newRow("height checked before width") << "14401"
                                                     << "99" << tooLarge << "Edit1";
    }
    void pageSideLimits() {
        QFETCH(QString, height);
        QFETCH(QString, width);
        QFETCH(QString, outcome);
        QFETCH(QString, focus);
        const TRegistory before = m_settings;
        const QString result = runAndSet([&] {
            retypeText(edit("Edit1"), height);
            retypeText(edit("Edit2"), width);
        });
        QCOMPARE(result, outcome);
        QCOMPARE(m_prompts.errors, QStringList()); // told in the status bar only
        if (outcome == "accepted") {
            QCOMPARE(m_settings.PdfPageHeight, height.toInt());
            QCOMPARE(m_settings.PdfPageWidth, width.toInt());
            return;
        }
        QCOMPARE(m_focusAfterSet, focus);
        QCOMPARE(differences(before, m_settings), QStringList());
    }

    void failureThenCorrection() {
        QStringList statuses;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            edit("Edit1")->setText("99");
            click(d, "Button2");
            statuses << m_dialog->statusText();
            edit("Edit1")->setText("2000");
            click(d, "Button2");
            statuses << m_dialog->statusText();
            return d.result();
        });
        QVERIFY(m_dialog->Execute(m_settings, m_prompts));
        QCOMPARE(statuses, (QStringList{"縦か横のサイズが少ないエラー", ""}));
        QCOMPARE(m_settings.PdfPageHeight, 2000);
    }

    void standardValues() {
        QString filledHeight, filledWidth, height, width;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            filledHeight = edit("Edit1")->text();
            filledWidth = edit("Edit2")->text();
            edit("Edit1")->setText("abc");
            click(d, "Button3");
            height = edit("Edit1")->text();
            width = edit("Edit2")->text();
            click(d, "Button2");
            return d.result();
        });
        const TRegistory before = m_settings;
        QVERIFY(m_dialog->Execute(m_settings, m_prompts));
        QCOMPARE(filledHeight, QStringLiteral("500")); // filled from the settings
        QCOMPARE(filledWidth, QStringLiteral("300"));
        QCOMPARE(height, QStringLiteral("1000"));
        QCOMPARE(width, QStringLiteral("700"));
        QCOMPARE(m_settings.PdfPageHeight, 1000);
        QCOMPARE(m_settings.PdfPageWidth, 700);
        QCOMPARE(differences(before, m_settings), (QStringList{"PdfPageWidth", "PdfPageHeight"}));
    }

    void setTakesEveryControl() {
        const QString chosen = folder("chosen");
        QString fieldAfterClick, statusAfterClick;
        const QString result = runAndSet([&] {
            chooseInTree(chosen);
            fieldAfterClick = edit("PdfSetPathDisp")->text();
            statusAfterClick = m_dialog->statusText();
            const char* names[] = {"L1F", "L1B", "L2F", "L2B", "L3F", "L3B", "L4F", "L4B"};
            for (const char* name : names) {
                edit(name)->setText(QString::fromLatin1(name).toLower());
            }
            edit("HPCodeEdit")->setText("1234");
            for (const char* box : {"FirstPageOutCheck", "ScanClrCheck", "WriteProtectChk",
                                    "WriteDateChk", "StretchCheck"}) {
                child<QCheckBox>(*m_dialog, box)->toggle();
            }
            child<QSpinBox>(*m_dialog, "QualitySpin")->setValue(65);
            edit("Edit1")->setText("842");
            edit("Edit2")->setText("595");
        });
        QCOMPARE(result, QStringLiteral("accepted"));
        QCOMPARE(fieldAfterClick, chosen);
        QCOMPARE(statusAfterClick, chosen);
        QCOMPARE(m_settings.Target, chosen);
        QCOMPARE((QStringList{m_settings.L1Front, m_settings.L1Back, m_settings.L2Front,
                              m_settings.L2Back, m_settings.L3Front, m_settings.L3Back,
                              m_settings.L4Front, m_settings.L4Back}),
                 (QStringList{"l1f", "l1b", "l2f", "l2b", "l3f", "l3b", "l4f", "l4b"}));
        QCOMPARE(m_settings.HPCode, QStringLiteral("1234"));
        const TRegistory defaults;
        QCOMPARE(m_settings.FirstPage, !defaults.FirstPage);
        QCOMPARE(m_settings.FolderClear, !defaults.FolderClear);
        QCOMPARE(m_settings.WriteInhibit, !defaults.WriteInhibit);
        QCOMPARE(m_settings.WriteDate, !defaults.WriteDate);
        QCOMPARE(m_settings.Stretch, !defaults.Stretch);
        QCOMPARE(m_settings.Quality, 65);
        QCOMPARE(m_settings.PdfPageHeight, 842);
        QCOMPARE(m_settings.PdfPageWidth, 595);
        QVERIFY(m_prompts.shownDialogs == QStringList{"PdfOutSet"}); // toggling shows no warning
    }

    void cancelChangesNothing_data() {
        QTest::addColumn<bool>("byCloseBox");
        QTest::newRow("キャンセル") << false;
        QTest::newRow("close box") << true;
    }
    void cancelChangesNothing() {
        QFETCH(bool, byCloseBox);
        const TRegistory before = m_settings;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            chooseInTree(folder("chosen"));
            for (const char* name : {"L1F", "L2B", "HPCodeEdit", "Edit1", "Edit2"}) {
                edit(name)->setText("150");
            }
            for (const char* box : {"FirstPageOutCheck", "ScanClrCheck", "WriteProtectChk",
                                    "WriteDateChk", "StretchCheck"}) {
                child<QCheckBox>(*m_dialog, box)->toggle();
            }
            child<QSpinBox>(*m_dialog, "QualitySpin")->setValue(99);
            if (byCloseBox) {
                d.close();
            } else {
                click(d, "Button1");
            }
            return d.isVisible() ? -1 : d.result();
        });
        QVERIFY(!m_dialog->Execute(m_settings, m_prompts));
        QCOMPARE(differences(before, m_settings), QStringList());
    }

    void openingShowsTheBaseFolder_data() {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("existing base folder") << true;
        QTest::newRow("missing base folder falls back to home") << false;
    }
    void openingShowsTheBaseFolder() {
        QFETCH(bool, targetExists);
        if (!targetExists) {
            m_settings.Target = m_folders.filePath("gone");
        }
        QString shown, treePath;
        m_prompts.dialogAnswers.enqueue([&](QDialog&) {
            shown = edit("PdfSetPathDisp")->text();
            treePath = m_dialog->folderTree()->selectedPath();
            return int(QDialog::Rejected);
        });
        m_dialog->Execute(m_settings, m_prompts);
        const QString expected = targetExists
                                     ? folder("archive")
                                     : QDir::toNativeSeparators(TRegistory::defaultFolder());
        QCOMPARE(shown, expected);
        QCOMPARE(treePath, expected);
    }

    void scannerClearingWarning_data() {
        QTest::addColumn<bool>("checkedBefore");
        QTest::addColumn<bool>("byMouse");
        QTest::addColumn<int>("answer"); // of the deletion warning
        QTest::addColumn<bool>("warned");
        QTest::addColumn<bool>("checkedAfter");
        QTest::newRow("mouse on, Ok") << false << true << int(QDialog::Accepted) << true << true;
        QTest::newRow("mouse on, Cancel")
            << false << true << int(QDialog::Rejected) << true << false;
        QTest::newRow("mouse off") << true << true << -1 << false << false;
        QTest::newRow("keyboard on") << false << false << -1 << false << true;
        QTest::newRow("keyboard off") << true << false << -1 << false << false;
    }
    void scannerClearingWarning() {
        QFETCH(bool, checkedBefore);
        QFETCH(bool, byMouse);
        QFETCH(int, answer);
        QFETCH(bool, warned);
        QFETCH(bool, checkedAfter);
        m_settings.FolderClear = checkedBefore;
        bool checked = !checkedAfter;
        QString warningFolder;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            auto* box = child<QCheckBox>(d, "ScanClrCheck");
            if (byMouse) {
                clickIndicator(box);
            } else {
                QTest::keyClick(box, Qt::Key_Space);
            }
            checked = box->isChecked();
            click(d, "Button1");
            return d.result();
        });
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            warningFolder = static_cast<TDeleteWarningForm&>(d).folder();
            return answer;
        });
        m_dialog->Execute(m_settings, m_prompts);
        const QStringList expectedShown =
            warned ? QStringList{"PdfOutSet", "DeleteWarningForm"} : QStringList{"PdfOutSet"};
        QCOMPARE(m_prompts.shownDialogs, expectedShown);
        QCOMPARE(checked, checkedAfter);
        if (warned) {
            QCOMPARE(warningFolder, m_settings.ScannerDir);
        }
        QCOMPARE(m_settings.FolderClear, checkedBefore); // cancelled: the setting stays
    }

    void qualitySpin_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("value");
        QTest::newRow("in range") << "75" << 75;
        QTest::newRow("above the range") << "150" << 100;
        QTest::newRow("far above, past the int range") << "99999999999" << 100;
        QTest::newRow("below the range") << "30" << 50;
        QTest::newRow("negative") << "-5" << 50;
        QTest::newRow("not a number") << "abc" << 50;
        QTest::newRow("empty") << "" << 50;
    }
    void qualitySpin() {
        QFETCH(QString, typed);
        QFETCH(int, value);
        m_settings.Quality = 80;
        QString textAfterFocusLoss;
        const QString result = runAndSet([&] {
            auto* spin = child<QSpinBox>(*m_dialog, "QualitySpin");
            spin->selectAll();
            QTest::keyClick(spin, Qt::Key_Delete);
            QTest::keyClicks(spin, typed);
            QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
            QCoreApplication::sendEvent(spin, &focusOut);
            textAfterFocusLoss = spin->text();
        });
        QCOMPARE(result, QStringLiteral("accepted"));
        QCOMPARE(textAfterFocusLoss, QString::number(value));
        QCOMPARE(m_settings.Quality, value);
    }

    void qualityTypedThenSetWithoutFocusLoss() {
        const QString result = runAndSet([&] {
            auto* spin = child<QSpinBox>(*m_dialog, "QualitySpin");
            spin->selectAll();
            QTest::keyClicks(spin, "120");
        });
        QCOMPARE(result, QStringLiteral("accepted"));
        QCOMPARE(m_settings.Quality, 100);
    }
};

QTEST_MAIN(TPdfOutSetTest)
#include "tpdfoutset_test.moc"
