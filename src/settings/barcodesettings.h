// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The settings of the patient number read from a label's barcode. They live in a key of their
/// own below the key of the settings object, so the 52 values there stay as they are and an
/// older program reads the file unchanged. Each value is read by itself: a missing value, or one
/// of another type, takes its default and the others are kept.

#include <QString>
#include <QStringList>

class RegistryFile;

class BarcodeSettings {
public:
    /// The key below TRegistory::KeyPath that holds the values.
    static const QString KeyPath;
    /// Every symbology the reader knows, by its persistent name.
    static const QStringList AllSymbologies;
    /// The whole barcode text, when it is one to eight digits.
    static const QString DefaultPattern;

    BarcodeSettings() { SetDefaults(); }
    void SetDefaults();

    void LoadFromRegistry(const RegistryFile& registry);
    void SaveToRegistry(RegistryFile& registry) const;

    /// Loads the settings from the registry file at \p path; defaults when it cannot be read.
    void load(const QString& path);
    /// Writes them into the registry file at \p path, keeping every other key and value.
    bool save(const QString& path, QString* error = nullptr) const;

    bool operator==(const BarcodeSettings&) const = default;

    bool Enabled;            ///< "Enabled": read barcodes at all (off by default)
    QStringList Symbologies; ///< "Symbologies": the names looked for, comma-separated
    QString Pattern;         ///< "Pattern": regular expression with one capture group
};
