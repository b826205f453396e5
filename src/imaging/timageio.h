// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The image I/O component: every page image of the program is read, written and scanned
/// through a TImageIO.

#include "imaging/imageopenerror.h"
#include "imaging/scanbackend.h"
#include "imaging/timageioparams.h"

#include <QImage>
#include <QString>

#include <memory>

class QWidget;
class UserPrompts;

/// Reads image files into a bitmap, writes the bitmap back and acquires pages from a scanner.
///
/// The format is chosen by the path's extension, without regard to case: ".jpg" ".jpeg" ".jpe"
/// JPEG, ".tif" ".tiff" TIFF (the first page of a multi-page file), ".bmp" Windows bitmap, ".png"
/// PNG. Loaded bitmaps are Format_Mono (black and white), Format_Indexed8 (grey or palette) or
/// Format_RGB888 (colour), at the file's own size, with the resolution on the QImage too.
///
/// One instance belongs to one thread; instances on different threads may load at the same time.
class TImageIO {
public:
    /// \p scanner acquires pages; without one, selecting and acquiring fail.
    explicit TImageIO(std::unique_ptr<ScanBackend> scanner = nullptr);
    ~TImageIO();
    TImageIO(const TImageIO&) = delete;
    TImageIO& operator=(const TImageIO&) = delete;

    /// Makes \p bitmap the target of loads and acquisitions and the source of saves. The caller
    /// keeps ownership. nullptr returns to the instance's own bitmap.
    void BindBitmap(QImage* bitmap);
    /// The bound bitmap, or the instance's own one.
    QImage& bitmap() { return *m_bitmap; }

    /// Reads \p path into the bitmap and fills the per-file values of the parameters.
    /// An unknown extension sets IoFailed and leaves the bitmap unchanged. A file that cannot
    /// be opened (missing, no access, a folder) throws ImageOpenError. A file that does not
    /// decode, or claims more than imaging::maxImagePixels, sets IoFailed; the bitmap then holds
    /// the rows decoded so far with the rest white, or is null when no row was decoded.
    void LoadImageFile(const QString& path);

    /// Writes the bitmap to \p path in the format of its extension, with the parameters.
    /// The file is replaced only once the new one is complete: a failed save leaves an existing
    /// file as it was. Throws ImageOpenError when the file cannot be created; sets IoFailed for
    /// an unknown extension or when encoding or writing fails.
    void SaveImageFile(const QString& path);

    /// True when the last load, save or acquisition failed.
    bool IoFailed() const { return m_ioFailed; }
    /// Why the last operation failed, for logs and support staff; empty after success.
    const QString& lastError() const { return m_lastError; }

    TImageIOParams& Params() { return m_params; }
    const TImageIOParams& Params() const { return m_params; }

    /// Lists the scanners in a dialog of our own (shown through \p prompts) and remembers the
    /// one the operator picks for AcquireScanImage. False when the scanner library is missing
    /// (nothing is shown), or when the operator cancels.
    bool SelectScanSource(UserPrompts& prompts, QWidget* parent = nullptr);

    /// Shows the chosen scanner's main options (mode, resolution, source) through \p prompts
    /// and acquires exactly one page into the bitmap; a feeder keeps its other sheets. The
    /// parameters then carry the scan resolution and no compression. Without a chosen scanner
    /// the first one listed is used. False (and IoFailed) when no image arrived.
    bool AcquireScanImage(UserPrompts& prompts, QWidget* parent = nullptr);

    /// The scanner library to load, "libsane.so.1" by default; tests name a missing one.
    void setScannerLibrary(const QString& fileName);
    /// The device name of the chosen scanner; empty when none was chosen.
    QString scanSourceName() const;

private:
    QImage m_ownBitmap;
    QImage* m_bitmap = &m_ownBitmap;
    bool m_ioFailed = false;
    QString m_lastError;
    TImageIOParams m_params;
    std::unique_ptr<ScanBackend> m_scanner;
};
