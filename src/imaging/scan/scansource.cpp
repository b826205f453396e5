// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/scan/scansource.h"

#include "imaging/imagereader.h"
#include "imaging/scan/scanoptionsdialog.h"
#include "imaging/scan/scansourcedialog.h"
#include "platform/sane/sanelibrary.h"
#include "platform/userprompts.h"

#include <QProgressDialog>

ScanSource::ScanSource() : m_libraryName(QString::fromLatin1(SaneLibrary::defaultFileName)) {}

ScanSource::~ScanSource() = default;

void ScanSource::setLibrary(const QString& fileName) {
    if (fileName != m_libraryName) {
        m_device.reset();
        m_deviceName.clear();
        m_libraryName = fileName;
    }
}

bool ScanSource::select(UserPrompts& prompts, QWidget* parent) {
    SaneLibrary* library = SaneLibrary::load(m_libraryName);
    if (library == nullptr) {
        return false;
    }
    ScanSourceDialog dialog(library->devices(), m_deviceName, parent);
    if (prompts.exec(dialog) != QDialog::Accepted || dialog.selectedDevice().isEmpty()) {
        return false;
    }
    if (dialog.selectedDevice() != m_deviceName) {
        m_device.reset();
        m_deviceName = dialog.selectedDevice();
    }
    return true;
}

ScanSource::Acquired ScanSource::acquire(UserPrompts& prompts, QWidget* parent) {
    Acquired acquired;
    SaneLibrary* library = SaneLibrary::load(m_libraryName);
    if (library == nullptr) {
        acquired.error =
            QStringLiteral("the scanner library %1 is not available").arg(m_libraryName);
        return acquired;
    }
    if (m_deviceName.isEmpty()) {
        // Like a source manager's default source: the first scanner there is.
        const QList<SaneDeviceInfo> devices = library->devices();
        if (devices.isEmpty()) {
            acquired.error = QStringLiteral("no scanner found");
            return acquired;
        }
        m_deviceName = devices.first().name;
    }
    if (!m_device) {
        m_device = library->open(m_deviceName, &acquired.error);
        if (!m_device) {
            return acquired;
        }
    }

    ScanOptionsDialog dialog(*m_device, parent);
    if (prompts.exec(dialog) != QDialog::Accepted) {
        acquired.error = QStringLiteral("cancelled");
        return acquired;
    }
    for (const auto& [name, value] : dialog.values()) {
        // A value the scanner refuses leaves its previous setting; the scan goes ahead.
        m_device->setOption(name, value);
    }

    // The progress window is application-modal: it keeps the other windows disabled and
    // painting while the page is read, and offers to cancel.
    QProgressDialog progress(QStringLiteral("スキャナから読み取っています…"),
                             QStringLiteral("キャンセル"), 0, 1000, parent);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const SaneScanResult scan = m_device->scanOnePage(
        [&progress](qint64 done, qint64 total) {
            if (total > 0) {
                progress.setValue(static_cast<int>(std::min<qint64>(999, done * 1000 / total)));
            }
            return !progress.wasCanceled();
        },
        imaging::maxImagePixels);
    progress.close();

    if (scan.status != SaneScanResult::Status::Ok) {
        acquired.error = scan.error;
        if (scan.status == SaneScanResult::Status::Failed) {
            m_device.reset(); // open it afresh next time
        }
        return acquired;
    }
    acquired.image = scan.image;
    acquired.dpiX = scan.dpiX;
    acquired.dpiY = scan.dpiY;
    acquired.bitsPerSample = scan.depth;
    acquired.samplesPerPixel = scan.channels;
    return acquired;
}
