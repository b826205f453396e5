// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogtest.h"
#include "settings/foldertree.h"
#include "settings/radiogroup.h"
#include "settings/treadset.h"
#include "support/fakeprompts.h"

#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <functional>

using namespace dialogtest;

using Edit = std::function<void(TReadSet&)>;
Q_DECLARE_METATYPE(Edit)

class TReadSetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_owner; // stands in for the main window
    TReadSet* m_dialog = nullptr;
    FakePrompts m_prompts;
    TRegistory m_settings;
    QTemporaryDir m_folders;

    QString folder(const QString& name) { return makeFolder(m_folders, name); }
    void chooseInTree(const QString& path) {
        dialogtest::chooseInTree(m_dialog->folderTree(), path);
    }

    static QLineEdit* volNo(TReadSet& d) { return child<QLineEdit>(d, "VolNoEdit"); }
    static RadioGroup* imSize(TReadSet& d) { return child<RadioGroup>(d, "ImSizeRadio"); }

private slots:
    void init() {
        m_owner = std::make_unique<QWidget>();
        m_owner->setGeometry(100, 80, 734, 651);
        m_owner->show();
        m_dialog = new TReadSet(m_owner.get());
        m_prompts = FakePrompts();
        m_settings = TRegistory();
        m_settings.ScannerDir = folder("scans");
        m_settings.VolNo = QStringLiteral("5");
        m_settings.ImSize = 2;
        m_settings.Sequence = 1;
    }
    void cleanup() { m_owner.reset(); }

    void serialField_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("valid");
        QTest::newRow("1000") << "1000" << false;
        QTest::newRow("-1") << "-1" << false;
        QTest::newRow("0") << "0" << true;
        QTest::newRow("999") << "999" << true;
        QTest::newRow("007 kept as typed") << "007" << true;
        QTest::newRow("blank and sign kept as typed") << " +12" << true;
        QTest::newRow("letters after the digits") << "12a" << false;
        QTest::newRow("empty") << "" << false;
    }
    void serialField() {
        QFETCH(QString, typed);
        QFETCH(bool, valid);
        bool openAfterClick = false;
        QString status;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            volNo(*m_dialog)->setText(typed);
            click(d, "Button1");
            openAfterClick = d.isVisible();
            status = m_dialog->statusText();
            if (openAfterClick) {
                click(d, "Button2");
            }
            return d.result();
        });
        const TReadSet::Result result = m_dialog->Execute(m_settings, m_prompts);

        QCOMPARE(result.accepted, valid);
        QCOMPARE(openAfterClick, !valid);
        QCOMPARE(status, valid ? QString() : QStringLiteral("*** 連番 エラー"));
        QCOMPARE(m_settings.VolNo, valid ? typed : QStringLiteral("5"));
    }

    void reopeningShowsTheSettingsAgain() {
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            volNo(*m_dialog)->setText("x");
            click(d, "Button1"); // fails, leaves the message
            imSize(*m_dialog)->setItemIndex(4);
            click(d, "Button2");
            return d.result();
        });
        m_dialog->Execute(m_settings, m_prompts);
        QString status = "<not run>", serial;
        int size = -1;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            status = m_dialog->statusText();
            serial = volNo(*m_dialog)->text();
            size = imSize(*m_dialog)->itemIndex();
            return int(QDialog::Rejected);
        });
        m_dialog->Execute(m_settings, m_prompts);
        QCOMPARE(status, QString());
        QCOMPARE(serial, QStringLiteral("5"));
        QCOMPARE(size, 2);
    }

    void thumbnailRebuild_data() {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<bool>("rebuild");
        QTest::newRow("nothing changed") << Edit([](TReadSet&) {}) << false;
        QTest::newRow("file types and order only") << Edit([](TReadSet& d) {
            child<QCheckBox>(d, "JpegBox")->setChecked(false);
            child<QCheckBox>(d, "PngBox")->setChecked(false);
            child<RadioGroup>(d, "order")->setItemIndex(0);
        }) << false;
        QTest::newRow("serial only") << Edit([](TReadSet& d) { volNo(d)->setText("12"); }) << false;
        QTest::newRow("size") << Edit([](TReadSet& d) { imSize(d)->setItemIndex(4); }) << true;
        QTest::newRow("stretch") << Edit([](TReadSet& d) {
            child<QCheckBox>(d, "ThumbCheck")->setChecked(true);
        }) << true;
        QTest::newRow("size changed and changed back") << Edit([](TReadSet& d) {
            imSize(d)->setItemIndex(0);
            imSize(d)->setItemIndex(2);
        }) << false;
    }
    void thumbnailRebuild() {
        QFETCH(Edit, edit);
        QFETCH(bool, rebuild);
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            edit(*m_dialog);
            click(d, "Button1");
            return d.result();
        });
        const TReadSet::Result result = m_dialog->Execute(m_settings, m_prompts);
        QVERIFY(result.accepted);
        QCOMPARE(result.rebuildThumbnails, rebuild);
    }

    void setTakesEveryControl() {
        const QString other = folder("other");
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            chooseInTree(other);
            child<QCheckBox>(d, "TiffBox")->setChecked(false);
            child<QCheckBox>(d, "BitmapBox")->setChecked(false);
            QTest::mouseClick(child<RadioGroup>(d, "order")->button(0), Qt::LeftButton);
            QTest::mouseClick(imSize(*m_dialog)->button(3), Qt::LeftButton);
            child<QCheckBox>(d, "ThumbCheck")->setChecked(true);
            volNo(*m_dialog)->setText("42");
            click(d, "Button1");
            return d.result();
        });
        const TReadSet::Result result = m_dialog->Execute(m_settings, m_prompts);
        QVERIFY(result.accepted);
        QVERIFY(result.rebuildThumbnails);
        QCOMPARE(m_settings.ScannerDir, other);
        QCOMPARE(m_settings.JpegType, true);
        QCOMPARE(m_settings.TiffType, false);
        QCOMPARE(m_settings.BitmapType, false);
        QCOMPARE(m_settings.PngType, true);
        QCOMPARE(m_settings.Sequence, 0);
        QCOMPARE(m_settings.ImSize, 3);
        QCOMPARE(m_settings.ThumbStrech, true);
        QCOMPARE(m_settings.VolNo, QStringLiteral("42"));
    }

    void cancelChangesNothing_data() {
        QTest::addColumn<QString>("closedBy");
        QTest::newRow("キャンセル") << "Button2";
        QTest::newRow("close box") << "close box";
        QTest::newRow("Escape") << "Escape";
    }
    void cancelChangesNothing() {
        QFETCH(QString, closedBy);
        const TRegistory before = m_settings;
        const QString other = folder("other");
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            chooseInTree(other);
            for (const char* box : {"JpegBox", "TiffBox", "BitmapBox", "PngBox", "ThumbCheck"}) {
                child<QCheckBox>(d, box)->toggle();
            }
            child<RadioGroup>(d, "order")->setItemIndex(0);
            imSize(*m_dialog)->setItemIndex(4);
            volNo(*m_dialog)->setText("99");
            if (closedBy == "close box") {
                d.close();
            } else if (closedBy == "Escape") {
                QTest::keyClick(&d, Qt::Key_Escape);
            } else {
                click(d, "Button2");
            }
            return d.isVisible() ? -1 : d.result();
        });
        const TReadSet::Result result = m_dialog->Execute(m_settings, m_prompts);
        QVERIFY(!result.accepted);
        QVERIFY(!result.rebuildThumbnails);
        QCOMPARE(differences(before, m_settings), QStringList());
    }

    void folderShownAndChosen() {
        QString shownAtOpening, statusAtOpening, shownAfterClick, statusAfterClick;
        const QString other = folder("other");
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            shownAtOpening = child<QLineEdit>(d, "ScanPathDisp")->text();
            statusAtOpening = m_dialog->statusText();
            chooseInTree(other);
            shownAfterClick = child<QLineEdit>(d, "ScanPathDisp")->text();
            statusAfterClick = m_dialog->statusText();
            click(d, "Button1");
            return d.result();
        });
        m_dialog->Execute(m_settings, m_prompts);
        QCOMPARE(shownAtOpening, folder("scans"));
        QCOMPARE(statusAtOpening, QString());
        QCOMPARE(shownAfterClick, other);
        QCOMPARE(statusAfterClick, other);
        QCOMPARE(m_settings.ScannerDir, other);
    }

    void scannerFolderAtOpening_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("fallsBackToHome");
        QTest::newRow("missing folder: home") << "gone" << true;
        QTest::newRow("a file, not a folder: home") << "plain.txt" << true;
        QTest::newRow("relative path: home") << "." << true;
        QTest::newRow("hidden folder: kept") << ".hidden" << false;
    }
    void scannerFolderAtOpening() {
        QFETCH(QString, stored);
        QFETCH(bool, fallsBackToHome);
        folder(".hidden");
        QFile(m_folders.filePath("plain.txt")).open(QIODevice::WriteOnly);
        m_settings.ScannerDir = stored == "." ? stored : m_folders.filePath(stored);
        const QString expected = fallsBackToHome
                                     ? QDir::toNativeSeparators(TRegistory::defaultFolder())
                                     : m_settings.ScannerDir;
        QString shown;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            shown = child<QLineEdit>(d, "ScanPathDisp")->text();
            return int(QDialog::Accepted);
        });
        QVERIFY(m_dialog->Execute(m_settings, m_prompts).accepted);
        QCOMPARE(shown, expected);
        QCOMPARE(m_settings.ScannerDir, expected); // the tree's selection, though nobody clicked
    }

    void storedValuesOutsideTheChoicesAreKept() {
        m_settings.ImSize = 7;
        m_settings.Sequence = -1;
        m_prompts.answerNextDialog(QDialog::Accepted);
        const TReadSet::Result result = m_dialog->Execute(m_settings, m_prompts);
        QVERIFY(result.accepted);
        QVERIFY(!result.rebuildThumbnails);
        QCOMPARE(m_settings.ImSize, 7);
        QCOMPARE(m_settings.Sequence, -1);
    }

    void opensCentredOnItsOwner() {
        QPoint centre;
        m_prompts.dialogAnswers.enqueue([&](QDialog& d) {
            show(d);
            centre = d.frameGeometry().center();
            return int(QDialog::Rejected);
        });
        m_dialog->Execute(m_settings, m_prompts);
        QVERIFY2((centre - m_owner->frameGeometry().center()).manhattanLength() <= 4,
                 qPrintable(QStringLiteral("dialog centre %1,%2").arg(centre.x()).arg(centre.y())));
        QCOMPARE(m_prompts.shownDialogs, QStringList{"ReadSet"});
    }
};

QTEST_MAIN(TReadSetTest)
#include "treadset_test.moc"
