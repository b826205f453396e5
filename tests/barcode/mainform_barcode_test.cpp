// SPDX-License-Identifier: GPL-3.0-or-later
// The main window and the barcode of the first page's label: the number filled in after an
// intake, the question before a save under another number, and the settings dialog under
// "設定", all driven by clicks and keys.

#include "index/chartindexschema.h"
#include "labelpages.h"
#include "platform/registryfile.h"
#include "settings/barcodesettings.h"
#include "settings/tregistory.h"
#include "settings/widgets/tbarcodeset.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"
#include "support/testimages.h"
#include "support/typetext.h"

#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

namespace {

const QString readMessage = QStringLiteral("バーコードから患者番号を読み取りました。");

void clickSettingsEntry(QMainWindow& window, const QString& text) {
    QMenuBar* bar = window.menuBar();
    QMenu* menu = nullptr;
    for (QAction* action : bar->actions()) {
        if (action->text() == QStringLiteral("設定")) {
            menu = action->menu();
        }
    }
    QVERIFY(menu);
    QVERIFY(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }));
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    QVERIFY(QTest::qWaitFor([&] { return menu->isVisible(); }));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    QAction* entry = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text() == text) {
            entry = action;
        }
    }
    QVERIFY(entry);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
    QVERIFY(QTest::qWaitFor([&] { return !menu->isVisible(); }));
}

} // namespace

class MainFormBarcodeTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    FakePrompts m_prompts;
    FakeUrlOpener m_opener;
    std::unique_ptr<TMainForm> m_form;

    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString registryPath() const { return path("registry.reg"); }

    void writeSettings(bool enabled) {
        TRegistory settings;
        settings.ScannerDir = path("scanner");
        settings.Target = path("archive");
        settings.HPCode = "77";
        settings.WriteDate = false;
        settings.FirstPage = true;
        settings.Stretch = true; // label pages are whole A4 scans
        settings.FolderClear = false;
        BarcodeSettings barcode;
        barcode.Enabled = enabled;
        barcode.Symbologies = {"Code128"};
        RegistryFile registry;
        settings.SaveToRegistry(registry);
        barcode.SaveToRegistry(registry);
        QVERIFY(registry.save(registryPath()));
    }

    void labelPage(const QString& name, const QString& number) {
        QVERIFY(labelpages::writeJpeg(
            labelpages::page({{barcode::Symbology::Code128, number}}, 200, 1.5, 8),
            path("scanner/" + name)));
    }
    void plainPage(const QString& name) {
        QVERIFY(testimages::save(testimages::page(200, 280), path("scanner/" + name)));
    }

    void start() {
        m_form = startMainWindow({m_dir->path(), registryPath(), &m_prompts, &m_opener});
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    /// The scanner intake, by a click on its tool button.
    void clickScannerIntake() {
        QAction* intake = m_form->command(TMainForm::Command::ScannerIntake);
        QWidget* button = nullptr;
        for (QToolBar* bar : m_form->findChildren<QToolBar*>()) {
            if (QWidget* widget = bar->widgetForAction(intake)) {
                button = widget;
            }
        }
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        m_form->workspace().waitForThumbnails();
    }

    QStringList archiveFiles() const {
        QStringList files;
        QDirIterator it(path("archive"), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << QDir(path("archive")).relativeFilePath(it.next());
        }
        files.sort();
        return files;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(path("scanner"));
        QDir().mkpath(path("archive"));
        QString error;
        QVERIFY2(chartindex::createEmptyIndex(path(chartindex::fileName), &error),
                 qPrintable(error));
        m_prompts = FakePrompts();
    }
    void cleanup() {
        if (m_form) {
            m_prompts.questionAnswers.enqueue(QMessageBox::Yes); // an unsaved creation log
            m_form->close();
            m_form.reset();
        }
    }

    void intakeFillsTheEmptyBoxFromTheLabel() {
        writeSettings(true);
        labelPage("001.jpg", "1234567");
        plainPage("002.jpg");
        start();
        clickScannerIntake();
        QTRY_COMPARE_WITH_TIMEOUT(m_form->idEdit()->text(), QString("1234567"), 20000);
        QCOMPARE(m_form->statusText(TMainForm::StatusPanel::Message), readMessage);

        // A number that matches saves without a question.
        retypeText(m_form->volNoEdit(), "1");
        QTest::mouseClick(m_form->saveButton(), Qt::LeftButton);
        m_form->waitForSave();
        QVERIFY(!m_prompts.shownDialogs.contains("BarcodeMismatch"));
        QCOMPARE(archiveFiles(), QStringList{"01/23/45/67/HP77_1234567_1.pdf"});
    }

    void noLabelOrReadingOffChangesNothing_data() {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("label");
        QTest::newRow("reading off") << false << true;
        QTest::newRow("no barcode") << true << false;
    }
    void noLabelOrReadingOffChangesNothing() {
        QFETCH(bool, enabled);
        QFETCH(bool, label);
        writeSettings(enabled);
        label ? labelPage("001.jpg", "1234567") : plainPage("001.jpg");
        start();
        clickScannerIntake();
        QTest::qWait(1500);
        QCOMPARE(m_form->idEdit()->text(), QString());
        QVERIFY(m_form->statusText(TMainForm::StatusPanel::Message) != readMessage);

        // A typed number is saved without a question.
        retypeText(m_form->idEdit(), "42");
        QTest::mouseClick(m_form->saveButton(), Qt::LeftButton);
        m_form->waitForSave();
        QVERIFY(!m_prompts.shownDialogs.contains("BarcodeMismatch"));
        QCOMPARE(archiveFiles(), QStringList{"00/00/00/42/HP77_42_0.pdf"});
    }

    void saveUnderAnotherNumberAsksFirstAndDefaultsToNo() {
        writeSettings(true);
        labelPage("001.jpg", "1234567");
        start();
        clickScannerIntake();
        QTRY_COMPARE_WITH_TIMEOUT(m_form->idEdit()->text(), QString("1234567"), 20000);
        retypeText(m_form->idEdit(), "7654321");

        // The question's default and escape buttons are "No"; answered No, nothing is saved.
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QString text;
        m_prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
            auto* box = qobject_cast<QMessageBox*>(&dialog);
            if (box) {
                defaultButton = box->standardButton(box->defaultButton());
                text = box->text();
            }
            return int(QMessageBox::No);
        });
        QTest::mouseClick(m_form->saveButton(), Qt::LeftButton);
        m_form->waitForSave();
        QCOMPARE(m_prompts.shownDialogs, QStringList{"BarcodeMismatch"});
        QCOMPARE(text, QString("入力した患者番号とバーコードの患者番号が違います。保存しますか？"));
        QCOMPARE(defaultButton, QMessageBox::No);
        QCOMPARE(archiveFiles(), QStringList());

        // Closed without an answer: still nothing.
        QTest::mouseClick(m_form->saveButton(), Qt::LeftButton);
        m_form->waitForSave();
        QCOMPARE(archiveFiles(), QStringList());

        // Yes: the chart goes under the typed number.
        m_prompts.dialogAnswers.enqueue([](QDialog&) { return int(QMessageBox::Yes); });
        QTest::mouseClick(m_form->saveButton(), Qt::LeftButton);
        m_form->waitForSave();
        QCOMPARE(archiveFiles(), QStringList{"07/65/43/21/HP77_7654321_0.pdf"});
    }

    // Two patients' labels on the first page, one stuck on sideways: no number is taken from
    // it, and a save under either number asks first, "No" the default.
    void aPageOfTwoPatientsLabelsIsNoNumber() {
        writeSettings(true);
        QVERIFY(labelpages::writeJpeg(
            labelpages::page({{barcode::Symbology::Code128, "1234567"},
                              {barcode::Symbology::Code128, "7654321", {150.0, 120.0}, 90.0}},
                             200, 1.5, 8),
            path("scanner/001.jpg")));
        start();
        clickScannerIntake();
        QTRY_COMPARE_WITH_TIMEOUT(m_form->statusText(TMainForm::StatusPanel::Message),
                                  QString("バーコードの患者番号が一つに決まりません。"), 20000);
        QCOMPARE(m_form->idEdit()->text(), QString());

        retypeText(m_form->idEdit(), "1234567");
        QString text;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        m_prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                text = box->text();
                defaultButton = box->standardButton(box->defaultButton());
            }
            return int(QMessageBox::No);
        });
        QTest::mouseClick(m_form->saveButton(), Qt::LeftButton);
        m_form->waitForSave();
        QCOMPARE(m_prompts.shownDialogs, QStringList{"BarcodeAmbiguous"});
        QCOMPARE(text, QString("バーコードの患者番号が一つに決まりません。保存しますか？"));
        QCOMPARE(defaultButton, QMessageBox::No);
        QCOMPARE(archiveFiles(), QStringList());
    }

    void settingsDialogUnderTheSettingsMenu() {
        writeSettings(false);
        labelPage("001.jpg", "7777");
        start();
        clickScannerIntake();
        QCOMPARE(m_form->idEdit()->text(), QString());

        QString refusal;
        m_prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
            dialog.show();
            QCoreApplication::processEvents();
            auto* enabled = dialog.findChild<QCheckBox*>("EnabledCheck");
            auto* pattern = dialog.findChild<QLineEdit*>("PatternEdit");
            auto* set = dialog.findChild<QPushButton*>("SetButton");
            if (!enabled || !pattern || !set) {
                return int(QDialog::Rejected);
            }
            QTest::mouseClick(enabled, Qt::LeftButton);
            // Two groups: refused, the dialog stays open.
            retypeText(pattern, "^(\\d)(\\d+)$");
            QTest::mouseClick(set, Qt::LeftButton);
            refusal = static_cast<TBarcodeSet&>(dialog).statusText();
            if (dialog.result() == QDialog::Accepted) {
                return int(QDialog::Accepted);
            }
            retypeText(pattern, "^(\\d{1,8})$");
            QTest::keyClick(pattern, Qt::Key_Return); // "設定" is the default button
            return dialog.result();
        });
        clickSettingsEntry(*m_form, QStringLiteral("バーコード設定"));
        QCOMPARE(m_prompts.shownDialogs, QStringList{"TBarcodeSet"});
        QCOMPARE(refusal, TBarcodeSet::PatternRefusedText);

        // Stored at once under its own key, the 52 values as they were; and the page is read.
        RegistryFile registry;
        QCOMPARE(registry.load(registryPath()), RegistryFile::LoadStatus::Loaded);
        BarcodeSettings stored;
        stored.LoadFromRegistry(registry);
        QVERIFY(stored.Enabled);
        QCOMPARE(stored.Symbologies, QStringList{"Code128"});
        TRegistory settings;
        QCOMPARE(settings.LoadFromRegistry(registry), TRegistory::LoadResult::Loaded);
        QCOMPARE(settings.HPCode, QString("77"));
        QTRY_COMPARE_WITH_TIMEOUT(m_form->idEdit()->text(), QString("7777"), 20000);
    }

    void dialogRefusesReadingWithoutASymbology() {
        TBarcodeSet dialog;
        BarcodeSettings settings;
        settings.Enabled = true;
        settings.Symbologies = {"EAN"};
        settings.Pattern = "^2(\\d{8})\\d{3}$";
        QString refusal;
        m_prompts.dialogAnswers.enqueue([&](QDialog& shown) {
            shown.show();
            QCoreApplication::processEvents();
            QTest::mouseClick(shown.findChild<QCheckBox*>("EANCheck"), Qt::LeftButton);
            QTest::mouseClick(shown.findChild<QPushButton*>("SetButton"), Qt::LeftButton);
            refusal = dialog.statusText();
            if (shown.result() == QDialog::Accepted) {
                return int(QDialog::Accepted);
            }
            // "規定値" puts back every symbology and the default pattern.
            QTest::mouseClick(shown.findChild<QPushButton*>("DefaultsButton"), Qt::LeftButton);
            QTest::mouseClick(shown.findChild<QPushButton*>("SetButton"), Qt::LeftButton);
            return shown.result();
        });
        QVERIFY(dialog.Execute(settings, m_prompts));
        QCOMPARE(refusal, TBarcodeSet::NoSymbologyText);
        QVERIFY(settings.Enabled);
        QCOMPARE(settings.Symbologies, BarcodeSettings::AllSymbologies);
        QCOMPARE(settings.Pattern, BarcodeSettings::DefaultPattern);

        // "キャンセル" leaves the settings as they were.
        const BarcodeSettings before = settings;
        m_prompts.dialogAnswers.enqueue([](QDialog& shown) {
            shown.show();
            QCoreApplication::processEvents();
            QTest::mouseClick(shown.findChild<QCheckBox*>("EnabledCheck"), Qt::LeftButton);
            QTest::mouseClick(shown.findChild<QPushButton*>("CancelButton"), Qt::LeftButton);
            return shown.result();
        });
        QVERIFY(!dialog.Execute(settings, m_prompts));
        QCOMPARE(settings, before);
    }

    void storedValuesAreReadOneByOne() {
        RegistryFile registry;
        const QString key = BarcodeSettings::KeyPath;
        QVERIFY(key.startsWith(TRegistory::KeyPath + "\\"));
        registry.setValue(key, "Enabled", RegistryValue::fromString("yes")); // wrong type
        registry.setValue(key, "Symbologies", RegistryValue::fromString("qrcode, PDF417,EAN,EAN"));
        registry.setValue(key, "Pattern", RegistryValue::fromString("^ID(\\d+)$"));
        BarcodeSettings settings;
        settings.LoadFromRegistry(registry);
        QCOMPARE(settings.Enabled, false);
        QCOMPARE(settings.Symbologies, (QStringList{"qrcode", "EAN"}));
        QCOMPARE(settings.Pattern, QString("^ID(\\d+)$"));

        // No key at all: the defaults, reading off.
        settings.LoadFromRegistry(RegistryFile());
        QCOMPARE(settings, BarcodeSettings());
        QVERIFY(!settings.Enabled);
        QCOMPARE(settings.Symbologies, BarcodeSettings::AllSymbologies);
        for (const auto& name : BarcodeSettings::AllSymbologies) {
            QVERIFY(barcode::symbologyFromName(name).has_value());
        }
    }
};

QTEST_MAIN(MainFormBarcodeTest)
#include "mainform_barcode_test.moc"
