// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// A page image file of the scanner folder turned back level in place, as the page editor's save
/// rewrites a page: the same file, in the same format with the parameters it was read with,
/// through a temporary file beside it.

#include "analysis/skew.h"

#include <QImage>
#include <QList>
#include <QString>
#include <memory>

namespace pagefile {

/// \p bitmap in the pixel format a page was loaded in (one bit, grey or palette, colour), so
/// that writing it back keeps the file's kind: a one-bit page stays one bit.
QImage inPageFormat(const QImage& bitmap, QImage::Format format, const QList<QRgb>& colours);

enum class Outcome : quint8 {
    Straightened,   ///< the file now holds the page turned back
    AlreadyLevel,   ///< left alone: turned by less than skew::SmallestTurn
    TooSkewed,      ///< left alone: turned by more than skew::LargestTurn
    NoTextLines,    ///< left alone: nothing to measure by
    Unreadable,     ///< the file cannot be opened or does not decode
    WriteProtected, ///< read-only, or a DICOM file, which is never written
    Gone,           ///< the file went away before it could be replaced; nothing was written
    Changed,        ///< another file took its name meanwhile; that file was left as it is
    WriteFailed,    ///< the new file could not be written; the page is as it was
};

struct Result {
    Outcome outcome = Outcome::Unreadable;
    double degrees = 0; ///< the skew found
    QString error;      ///< why, for the failures
};

/// Straightening in two steps: the constructor reads and measures the page and, when it is to
/// be turned, writes it turned under a hidden name beside its file; commit() then puts it in the
/// file's place. The file is replaced only while it is still the file that was read: should a
/// scan or another program have replaced or removed it meanwhile, what is there stays untouched
/// and nothing is left behind. Without a commit the hidden file goes with this object.
class Straightening {
public:
    explicit Straightening(const QString& path);
    ~Straightening();
    Straightening(const Straightening&) = delete;
    Straightening& operator=(const Straightening&) = delete;

    /// So far: Straightened means ready to be committed; anything else is final.
    const Result& result() const;
    /// Puts the turned page in the file's place; the final result.
    Result commit();

private:
    struct Pending;
    std::unique_ptr<Pending> m_pending;
    Result m_result;
};

/// Both steps at once.
Result straightenFile(const QString& path);

/// What the operator is told about \p result.
QString describe(const Result& result);

} // namespace pagefile
