// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/blankpagesettings.h"

#include "platform/registryfile.h"
#include "settings/tregistory.h"

namespace {

const QString enabledName = QStringLiteral("Enabled");
const QString marginName = QStringLiteral("MarginMm");
const QString shadowName = QStringLiteral("ShadowMm");
const QString contrastName = QStringLiteral("InkContrast");
const QString shareName = QStringLiteral("InkPartsPerMillion");

/// The value \p name when it is a number within \p low..high; \p fallback otherwise.
int readRange(const RegistryFile& registry, const QString& name, int low, int high, int fallback) {
    const RegistryValue* value = registry.value(BlankPageSettings::KeyPath, name);
    if (!value || value->type() != RegistryType::Dword) {
        return fallback;
    }
    const auto number = static_cast<qint64>(static_cast<qint32>(value->dword()));
    return number >= low && number <= high ? static_cast<int>(number) : fallback;
}

} // namespace

const QString BlankPageSettings::KeyPath = TRegistory::KeyPath + QStringLiteral("\\BlankPage");

void BlankPageSettings::SetDefaults() {
    Enabled = true;
    MarginMm = 8;
    ShadowMm = 20;
    InkContrast = 20;
    InkPartsPerMillion = 100;
}

void BlankPageSettings::LoadFromRegistry(const RegistryFile& registry) {
    const BlankPageSettings defaults;
    *this = defaults;
    if (const RegistryValue* value = registry.value(KeyPath, enabledName);
        value && value->type() == RegistryType::Dword) {
        Enabled = value->dword() != 0;
    }
    MarginMm = readRange(registry, marginName, 0, 50, defaults.MarginMm);
    ShadowMm = readRange(registry, shadowName, 0, 50, defaults.ShadowMm);
    InkContrast = readRange(registry, contrastName, 4, 128, defaults.InkContrast);
    InkPartsPerMillion = readRange(registry, shareName, 0, 100000, defaults.InkPartsPerMillion);
}

void BlankPageSettings::SaveToRegistry(RegistryFile& registry) const {
    registry.createKey(KeyPath);
    registry.setValue(KeyPath, enabledName, RegistryValue::fromDword(Enabled ? 1 : 0));
    registry.setValue(KeyPath, marginName, RegistryValue::fromDword(quint32(MarginMm)));
    registry.setValue(KeyPath, shadowName, RegistryValue::fromDword(quint32(ShadowMm)));
    registry.setValue(KeyPath, contrastName, RegistryValue::fromDword(quint32(InkContrast)));
    registry.setValue(KeyPath, shareName, RegistryValue::fromDword(quint32(InkPartsPerMillion)));
}

void BlankPageSettings::load(const QString& path) {
    RegistryFile registry;
    if (registry.load(path) == RegistryFile::LoadStatus::Loaded) {
        LoadFromRegistry(registry);
    } else {
        SetDefaults();
    }
}
