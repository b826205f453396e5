// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/barcodesettings.h"

#include "platform/registryfile.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString enabledName = QStringLiteral("Enabled");
const QString symbologiesName = QStringLiteral("Symbologies");
const QString patternName = QStringLiteral("Pattern");

} // namespace

const QString BarcodeSettings::KeyPath = TRegistory::KeyPath + QStringLiteral("\\Barcode");
const QStringList BarcodeSettings::AllSymbologies = {
    QStringLiteral("Code39"), QStringLiteral("Code128"), QStringLiteral("ITF"),
    QStringLiteral("EAN"),    QStringLiteral("QRCode"),  QStringLiteral("DataMatrix"),
};
const QString BarcodeSettings::DefaultPattern = QStringLiteral("^(\\d{1,8})$");

void BarcodeSettings::SetDefaults() {
    Enabled = false;
    Symbologies = AllSymbologies;
    Pattern = DefaultPattern;
}

void BarcodeSettings::LoadFromRegistry(const RegistryFile& registry) {
    SetDefaults();
    if (const RegistryValue* value = registry.value(KeyPath, enabledName);
        value && value->type() == RegistryType::Dword) {
        Enabled = value->dword() != 0;
    }
    if (const RegistryValue* value = registry.value(KeyPath, symbologiesName);
        value && value->type() == RegistryType::Sz) {
        Symbologies.clear();
        for (const QString& name : value->text().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString trimmed = name.trimmed();
            if (AllSymbologies.contains(trimmed, Qt::CaseInsensitive) &&
                !Symbologies.contains(trimmed, Qt::CaseInsensitive)) {
                Symbologies << trimmed;
            }
        }
    }
    if (const RegistryValue* value = registry.value(KeyPath, patternName);
        value && value->type() == RegistryType::Sz && !value->text().isEmpty()) {
        Pattern = value->text();
    }
}

void BarcodeSettings::SaveToRegistry(RegistryFile& registry) const {
    registry.createKey(KeyPath);
    registry.setValue(KeyPath, enabledName, RegistryValue::fromDword(Enabled ? 1 : 0));
    registry.setValue(KeyPath, symbologiesName,
                      RegistryValue::fromString(Symbologies.join(QLatin1Char(','))));
    registry.setValue(KeyPath, patternName, RegistryValue::fromString(Pattern));
}

void BarcodeSettings::load(const QString& path) {
    RegistryFile registry;
    if (registry.load(path) == RegistryFile::LoadStatus::Loaded) {
        LoadFromRegistry(registry);
    } else {
        SetDefaults();
    }
}

bool BarcodeSettings::save(const QString& path, QString* error) const {
    RegistryFile registry;
    if (registry.load(path) == RegistryFile::LoadStatus::Unreadable) {
        // Writing over it would lose what the 52 values held; the window's own save keeps a copy.
        if (error) {
            *error = registry.loadError();
        }
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error) {
            *error = QStringLiteral("%1: the folder cannot be created").arg(path);
        }
        return false;
    }
    SaveToRegistry(registry);
    return registry.save(path, error);
}
