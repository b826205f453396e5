// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/patientlabel.h"

#include "settings/barcodesettings.h"

namespace patientlabel {

QStringList labelPages(const QStringList& files, bool firstPageSaved) {
    return files.mid(0, firstPageSaved ? 1 : 2);
}

barcode::PatientBarcodeReader readerFor(const BarcodeSettings& settings) {
    QList<barcode::Symbology> symbologies;
    for (const auto& name : settings.Symbologies) {
        if (const auto symbology = barcode::symbologyFromName(name)) {
            symbologies << *symbology;
        }
    }
    return barcode::PatientBarcodeReader(symbologies, settings.Pattern);
}

LabelNumber readLabel(const barcode::PatientBarcodeReader& reader, const QStringList& labelFiles) {
    LabelNumber label;
    for (const auto& file : labelFiles) {
        const barcode::PageReading reading = reader.readFile(file);
        if (reading.status == barcode::PageReading::Status::Found) {
            label.status = LabelNumber::Status::Found;
            label.patient = reading.patient;
            label.file = file;
            return label;
        }
        if (reading.status == barcode::PageReading::Status::Ambiguous) {
            label.status = LabelNumber::Status::Ambiguous;
            label.file = file;
            label.texts = reading.texts;
            return label;
        }
    }
    return label;
}

} // namespace patientlabel
