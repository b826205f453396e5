// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Reading the patient number from the barcodes of a page: the symbologies to look for, the
/// pattern that takes the number out of a barcode's text, and the verdict over all the barcodes
/// of the page (one number, none, or several different numbers).

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace barcode {

enum class Symbology : quint8 {
    Code39,
    Code128,
    Itf,
    Ean, ///< EAN-13 and EAN-8 (JAN)
    QrCode,
    DataMatrix,
};

/// Every symbology, in the order the settings list them.
QList<Symbology> allSymbologies();
/// The persistent name of \p symbology ("Code39", "Code128", "ITF", "EAN", "QRCode",
/// "DataMatrix").
QString symbologyName(Symbology symbology);
/// The symbology of a persistent name (case-insensitive); nothing for an unknown name.
std::optional<Symbology> symbologyFromName(const QString& name);

/// The pattern used when none is set: the whole text, when it is one to eight digits.
inline const QString defaultPattern = QStringLiteral("^(\\d{1,8})$");

/// Why a pattern cannot be used, or an empty text when it can: it must be a valid regular
/// expression with exactly one capture group.
QString patternProblem(const QString& pattern);

/// The patient number in the captured \p text: digits only (leading zeros allowed) and a value
/// in 1..99999999.
std::optional<int> patientNumberFromText(const QString& text);

struct PageReading {
    enum class Status : quint8 {
        Found,     ///< every barcode that yields a number yields the same one
        NoBarcode, ///< no barcode of the chosen symbologies was found
        NoNumber,  ///< barcodes were found, none of them yields a patient number
        Ambiguous, ///< barcodes yield different patient numbers: none is taken
        Unreadable ///< the page image could not be opened or decoded
    };
    Status status = Status::NoBarcode;
    int patient = 0;   ///< for Found
    QStringList texts; ///< the text of every barcode found, in the decoder's order
    QString error;     ///< for Unreadable
};

class PatientBarcodeReader {
public:
    /// \p symbologies empty: none is looked for and every page reads as NoBarcode. A
    /// \p pattern that patternProblem() refuses yields no number from any barcode.
    PatientBarcodeReader(QList<Symbology> symbologies, const QString& pattern);

    bool patternIsValid() const { return m_patternValid; }

    /// The verdict over every barcode of \p page, at the resolution it has: linear codes across
    /// its rows and across its columns, matrix codes at any angle.
    PageReading read(const QImage& page) const;

    /// Decodes the page file in grey levels and reads every barcode on it before it gives a
    /// verdict: linear codes at full size (a fine bar code on a 300 dpi scan needs it), straight,
    /// upside down or sideways; matrix codes on the page reduced to about 150 dpi for A4. Safe on
    /// a worker thread.
    PageReading readFile(const QString& path) const;

    /// Width below which readFile() does not reduce a page for the matrix codes.
    static constexpr int ReducedWidth = 1240;

private:
    PageReading verdict(const QStringList& texts) const;

    QList<Symbology> m_symbologies;
    QString m_pattern;
    bool m_patternValid = false;
};

} // namespace barcode
