// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The patient label of a chart: which pages carry it, the barcode reader the barcode settings
/// describe, and the number the label gives. The main window and pelorafile-save read the label
/// by these same rules.

#include "barcode/patientbarcode.h"

#include <QString>
#include <QStringList>

class BarcodeSettings;

namespace patientlabel {

/// The page files the label is looked for on, of \p files in page order: the first, and the
/// second too when the first page is not saved (\p firstPageSaved false), as it is then a cover
/// sheet and the label may be on the page after it.
QStringList labelPages(const QStringList& files, bool firstPageSaved);

/// The reader of \p settings: their symbologies (names it does not know are passed over) and
/// their pattern.
barcode::PatientBarcodeReader readerFor(const BarcodeSettings& settings);

/// What the label pages say.
struct LabelNumber {
    enum class Status : quint8 {
        Found,     ///< a label page gives one number
        None,      ///< no label page gives a number
        Ambiguous, ///< a label page gives different numbers: none is taken
    };
    Status status = Status::None;
    int patient = 0;   ///< for Found
    QString file;      ///< the page that gave the verdict (Found, Ambiguous)
    QStringList texts; ///< for Ambiguous: the text of every barcode of that page
};

/// Reads \p labelFiles in their order until one gives a number or is ambiguous. Safe on a
/// worker thread.
LabelNumber readLabel(const barcode::PatientBarcodeReader& reader, const QStringList& labelFiles);

} // namespace patientlabel
