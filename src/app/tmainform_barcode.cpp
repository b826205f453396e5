// The patient number read from the label's barcode: after an intake the number of the first
// page fills an empty patient number box, and a save asks before it files a chart under a typed
// number that is not the label's.

#include "app/pageworkspace.h"
#include "app/tmainform.h"
#include "barcode/patientbarcode.h"
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
const QString mismatchQuestion =
    QStringLiteral("入力した患者番号とバーコードの患者番号が違います。保存しますか？");

barcode::PatientBarcodeReader readerFor(const BarcodeSettings& settings) {
    QList<barcode::Symbology> symbologies;
    for (const auto& name : settings.Symbologies) {
        if (const auto symbology = barcode::symbologyFromName(name)) {
            symbologies << *symbology;
        }
    }
    return barcode::PatientBarcodeReader(symbologies, settings.Pattern);
}

/// The number of the first of \p files that yields one; none when a page is ambiguous.
std::optional<int> readNumber(const barcode::PatientBarcodeReader& reader,
                              const QStringList& files) {
    for (const auto& file : files) {
        const barcode::PageReading reading = reader.readFile(file);
        if (reading.status == barcode::PageReading::Status::Found) {
            return reading.patient;
        }
        if (reading.status == barcode::PageReading::Status::Ambiguous) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

struct TMainForm::BarcodeReading {
    BarcodeSettings settings;
    TBarcodeSet* dialog = nullptr;
    QAction* action = nullptr;
    /// Reads on a worker thread: a full page takes far longer than a window may wait.
    QFutureWatcher<std::optional<int>>* watcher = nullptr;
    QStringList readingFiles; ///< the files of the reading under way
    QStringList readFiles;    ///< the files the number below was read from
    std::optional<int> number;
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

void TMainForm::createBarcodeReading() {
    m_barcode.reset(new BarcodeReading);
    BarcodeReading& state = *m_barcode;
    state.settings.load(m_services.settingsPath);
    state.dialog = new TBarcodeSet(this);
    state.watcher = new QFutureWatcher<std::optional<int>>(this);

    // The pages the label is looked for on: the first, and the second when the first is a cover
    // sheet that is not saved.
    auto labelPages = [this] {
        QStringList files;
        const PageList& pages = m_workspace->pages();
        const int count = m_settings->FirstPage ? 1 : 2;
        for (int n = 0; n < count && n < pages.count(); ++n) {
            files << pages.at(n).ImageFile;
        }
        return files;
    };
    auto start = [this, labelPages] {
        BarcodeReading& state = *m_barcode;
        const QStringList files = state.settings.Enabled ? labelPages() : QStringList();
        if (state.watcher->isRunning()) {
            state.readAgain = true;
            return;
        }
        if (files == state.readFiles) {
            return;
        }
        state.number.reset();
        state.readFiles.clear();
        if (files.isEmpty()) {
            return;
        }
        state.readingFiles = files;
        state.settled = false;
        state.watcher->setFuture(QtConcurrent::run(
            [reader = readerFor(state.settings), files] { return readNumber(reader, files); }));
    };
    auto settle = [this, labelPages, start] {
        BarcodeReading& state = *m_barcode;
        if (state.settled) {
            return;
        }
        state.settled = true;
        state.readFiles = state.readingFiles;
        state.number = state.watcher->result();
        const bool again = state.stale || (state.readAgain && labelPages() != state.readFiles);
        state.readAgain = false;
        state.stale = false;
        if (again) {
            state.readFiles.clear();
            start();
            return;
        }
        // A box the operator typed into, or pages that changed meanwhile, are left alone.
        if (state.settings.Enabled && state.number && m_idEdit->text().isEmpty() &&
            labelPages() == state.readFiles) {
            m_idEdit->setText(QString::number(*state.number));
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
        state.number = state.watcher->result();
    }
    QStringList files;
    const int count = m_settings->FirstPage ? 1 : 2;
    for (int n = 0; n < count && n < m_workspace->pages().count(); ++n) {
        files << m_workspace->pages().at(n).ImageFile;
    }
    if (files != state.readFiles) {
        state.readAgain = false;
        state.readFiles = files;
        state.number =
            files.isEmpty() ? std::nullopt : readNumber(readerFor(state.settings), files);
    }
    const std::optional<int> typed = parseSignedInteger(m_idEdit->text());
    if (!state.number || !typed || *typed == *state.number) {
        return true; // no label number, or a typed text the save itself refuses
    }
    // Through exec() rather than question(): only a message box of our own can make "No" the
    // button that Enter presses.
    QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"), mismatchQuestion,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("BarcodeMismatch"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return m_services.prompts->exec(box) == QMessageBox::Yes;
}
