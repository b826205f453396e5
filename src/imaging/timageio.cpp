// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/timageio.h"

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"
#include "imaging/scanbackend.h"

#include <QSaveFile>

TImageIO::TImageIO(std::unique_ptr<ScanBackend> scanner) : m_scanner(std::move(scanner)) {}

TImageIO::~TImageIO() = default;

void TImageIO::BindBitmap(QImage* bitmap) {
    m_bitmap = bitmap != nullptr ? bitmap : &m_ownBitmap;
}

void TImageIO::LoadImageFile(const QString& path) {
    m_ioFailed = true;
    m_lastError.clear();
    const imaging::ImageFormat format = imaging::formatForPath(path);
    if (format == imaging::ImageFormat::Unknown) {
        m_lastError = QStringLiteral("unsupported file extension");
        return;
    }
    m_params.clearFileValues();
    imaging::FileSource file(path); // throws ImageOpenError
    m_ioFailed = false;

    // The bitmap is replaced in any case; its buffer may take the new page.
    QImage previous = std::move(*m_bitmap);
    imaging::DecodeRequest request;
    request.tiffPage = m_params.tiffPageIndex;
    request.recycle = &previous;
    imaging::DecodeResult result = imaging::decodeImage(format, file, request);
    m_params.dpiX = result.dpiX;
    m_params.dpiY = result.dpiY;
    m_params.tiffCompression = result.compression;
    m_params.bitsPerSample = result.bitsPerSample;
    m_params.samplesPerPixel = result.samplesPerPixel;
    *m_bitmap = result.image;
    if (!result.ok) {
        m_ioFailed = true;
        m_lastError = result.error;
    }
}

void TImageIO::SaveImageFile(const QString& path) {
    m_ioFailed = true;
    m_lastError.clear();
    const imaging::ImageFormat format = imaging::formatForPath(path);
    if (format == imaging::ImageFormat::Unknown) {
        m_lastError = QStringLiteral("unsupported file extension");
        return;
    }
    // The new file is written beside the old one and renamed over it when complete.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        throw ImageOpenError(path, file.errorString(), ImageOpenError::Access::Write);
    }
    m_ioFailed = false;
    imaging::MemorySink sink;
    QString error;
    bool ok = imaging::encodeImage(format, *m_bitmap, m_params, sink, &error);
    if (ok) {
        const auto& bytes = sink.data();
        ok = file.write(reinterpret_cast<const char*>(bytes.data()),
                        static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()) &&
             file.commit();
        if (!ok) {
            error = file.errorString();
        }
    }
    if (!ok) {
        file.cancelWriting();
        m_ioFailed = true;
        m_lastError = error;
    }
}

bool TImageIO::SelectScanSource(UserPrompts& prompts, QWidget* parent) {
    return m_scanner && m_scanner->select(prompts, parent);
}

bool TImageIO::AcquireScanImage(UserPrompts& prompts, QWidget* parent) {
    m_ioFailed = false;
    m_lastError.clear();
    if (!m_scanner) {
        m_ioFailed = true;
        m_lastError = QStringLiteral("no scanner is connected to this image component");
        return false;
    }
    ScanBackend::Acquired acquired = m_scanner->acquire(prompts, parent);
    if (acquired.image.isNull()) {
        m_ioFailed = true;
        m_lastError = acquired.error;
        return false;
    }
    m_params.clearFileValues();
    m_params.dpiX = acquired.dpiX;
    m_params.dpiY = acquired.dpiY;
    m_params.bitsPerSample = acquired.bitsPerSample;
    m_params.samplesPerPixel = acquired.samplesPerPixel;
    *m_bitmap = acquired.image;
    return true;
}

void TImageIO::setScannerLibrary(const QString& fileName) {
    if (m_scanner) {
        m_scanner->setLibrary(fileName);
    }
}

QString TImageIO::scanSourceName() const {
    return m_scanner ? m_scanner->deviceName() : QString();
}
