// SPDX-License-Identifier: GPL-3.0-or-later
// The patient number read from the label's barcode: after an intake the number of the label
// fills an empty patient number box, and a save asks before it files a chart under a typed
// number that is not the label's, or when the label gives two different numbers.

#include "app/pageworkspace.h"
#include "app/patientlabel.h"
#include "app/tmainform.h"
#include "platform/userprompts.h"
#include "settings/barcodesettings.h"
#include "settings/integertext.h"
#include "settings/tregistory.h"
#include "settings/widgets/tbarcodeset.h"

#include <QFutureWatcher>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QtConcurrent>

namespace {

const QString readMessage = QStringLiteral("バーコードから患者番号を読み取りました。");
const QString ambiguousMessage = QStringLiteral("バーコードの患者番号が一つに決まりません。");
const QString mismatchQuestion =
    QStringLiteral("入力した患者番号とバーコードの患者番号が違います。保存しますか？");
const QString ambiguousQuestion = ambiguousMessage + QStringLiteral("保存しますか？");

using patientlabel::LabelNumber;

} // namespace

struct TMainForm::BarcodeReading {
    BarcodeSettings settings;
    TBarcodeSet* dialog = nullptr;
    QAction* action = nullptr;
    /// Reads on a worker thread: a full page takes far longer than a window may wait.
    QFutureWatcher<LabelNumber>* watcher = nullptr;
    QStringList readingFiles; ///< the files of the reading under way
    QStringList readFiles;    ///< the files the label below was read from
    LabelNumber label;
    bool readAgain = false; ///< the pages changed while a reading was under way
    bool stale = false;     ///< the settings changed while a reading was under way
    bool settled = true;    ///< the last reading's result has been taken
};

void TMainForm::BarcodeReadingDeleter::operator()(BarcodeReading* reading) const {
    if (reading && reading->watcher) {
        reading->watcher->waitForFinished();
    }
    delete reading;
}

QStringList TMainForm::labelPageFiles() const {
    QStringList files;
    const PageList& pages = m_workspace->pages();
    for (int n = 0; n < std::min(2, pages.count()); ++n) {
        files << pages.at(n).ImageFile;
    }
    return patientlabel::labelPages(files, m_settings->FirstPage);
}

void TMainForm::createBarcodeReading() {
    m_barcode.reset(new BarcodeReading);
    BarcodeReading& state = *m_barcode;
    state.settings.load(m_services.settingsPath);
    state.dialog = new TBarcodeSet(this);
    state.watcher = new QFutureWatcher<LabelNumber>(this);

    auto start = [this] {
        BarcodeReading& state = *m_barcode;
        const QStringList files = state.settings.Enabled ? labelPageFiles() : QStringList();
        if (state.watcher->isRunning()) {
            state.readAgain = true;
            return;
        }
        if (files == state.readFiles) {
            return;
        }
        state.label = LabelNumber();
        state.readFiles.clear();
        if (files.isEmpty()) {
            return;
        }
        state.readingFiles = files;
        state.settled = false;
        state.watcher->setFuture(
            QtConcurrent::run([reader = patientlabel::readerFor(state.settings), files] {
                return patientlabel::readLabel(reader, files);
            }));
    };
    auto settle = [this, start] {
        BarcodeReading& state = *m_barcode;
        if (state.settled) {
            return;
        }
        state.settled = true;
        state.readFiles = state.readingFiles;
        state.label = state.watcher->result();
        const bool again = state.stale || (state.readAgain && labelPageFiles() != state.readFiles);
        state.readAgain = false;
        state.stale = false;
        if (again) {
            state.readFiles.clear();
            start();
            return;
        }
        // A box the operator typed into, or pages that changed meanwhile, are left alone; a
        // label of two numbers fills in neither.
        if (!state.settings.Enabled || labelPageFiles() != state.readFiles) {
            return;
        }
        if (state.label.status == LabelNumber::Status::Ambiguous) {
            setStatusText(StatusPanel::Message, ambiguousMessage);
        } else if (state.label.status == LabelNumber::Status::Found && m_idEdit->text().isEmpty()) {
            m_idEdit->setText(QString::number(state.label.patient));
            setStatusText(StatusPanel::Message, readMessage);
        }
    };
    connect(state.watcher, &QFutureWatcherBase::finished, this, settle);
    connect(&m_workspace->pages(), &PageList::changed, this, start);

    state.action = m_settingsMenu->addAction(QStringLiteral("バーコード設定"));
    state.action->setObjectName(QStringLiteral("BarcodeSettings"));
    m_barcodeSettings = state.action;
    connectCommand(state.action, [this, start] {
        BarcodeReading& state = *m_barcode;
        BarcodeSettings edited = state.settings;
        if (!state.dialog->Execute(edited, *m_services.prompts)) {
            return;
        }
        state.settings = edited;
        QString error;
        if (!state.settings.save(m_services.settingsPath, &error)) {
            reportError(error);
        }
        // Read the label again with the new symbologies and pattern.
        state.stale = state.watcher->isRunning();
        if (!state.stale) {
            state.readFiles.clear();
            start();
        }
    });
}

bool TMainForm::confirmPatientNumber() {
    if (!m_barcode || !m_barcode->settings.Enabled) {
        return true;
    }
    BarcodeReading& state = *m_barcode;
    if (state.watcher->isRunning()) {
        state.watcher->waitForFinished();
    }
    // The finished signal may still be queued; the result is taken now, without filling the box.
    if (!state.settled) {
        state.settled = true;
        state.readFiles = state.readingFiles;
        state.label = state.watcher->result();
    }
    const QStringList files = labelPageFiles();
    if (files != state.readFiles) {
        state.readAgain = false;
        state.readFiles = files;
        state.label = files.isEmpty()
                          ? LabelNumber()
                          : patientlabel::readLabel(patientlabel::readerFor(state.settings), files);
    }
    const std::optional<int> typed = parseSignedInteger(m_idEdit->text());
    if (!typed || state.label.status == LabelNumber::Status::None ||
        (state.label.status == LabelNumber::Status::Found && *typed == state.label.patient)) {
        return true; // no label number, or a typed text the save itself refuses
    }
    // Through exec() rather than question(): only a message box of our own can make "No" the
    // button that Enter presses.
    const bool ambiguous = state.label.status == LabelNumber::Status::Ambiguous;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"),
                    ambiguous ? ambiguousQuestion : mismatchQuestion,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(ambiguous ? QStringLiteral("BarcodeAmbiguous")
                                : QStringLiteral("BarcodeMismatch"));
    if (ambiguous) {
        box.setInformativeText(state.label.texts.join(QStringLiteral(", ")));
    }
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return m_services.prompts->exec(box) == QMessageBox::Yes;
}
