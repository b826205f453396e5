// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The settings of the blank-page check made as pages are taken in. They live in a key of their
/// own below the key of the settings object, so the 52 values there stay as they are and an
/// older program reads the file unchanged. Each value is read by itself: a missing value, one
/// of another type or one out of its range takes its default and the others are kept.

#include <QString>

class RegistryFile;

class BlankPageSettings {
public:
    /// The key below TRegistory::KeyPath that holds the values.
    static const QString KeyPath;

    BlankPageSettings() { SetDefaults(); }
    void SetDefaults();

    void LoadFromRegistry(const RegistryFile& registry);
    void SaveToRegistry(RegistryFile& registry) const;

    /// Loads the settings from the registry file at \p path; defaults when it cannot be read.
    void load(const QString& path);

    bool operator==(const BlankPageSettings&) const = default;

    bool Enabled;    ///< "Enabled": look for blank pages at all (on by default)
    int MarginMm;    ///< "MarginMm": border left out on every side, 0..50 mm
    int ShadowMm;    ///< "ShadowMm": how far an edge shadow is followed, 0..50 mm
    int InkContrast; ///< "InkContrast": grey levels darker than the paper that are ink, 4..128
    int InkPartsPerMillion; ///< "InkPartsPerMillion": ink share below which a page is blank,
                            ///< 0..100000
};
