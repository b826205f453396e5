// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settingsfile.h"

#include "platform/registryfile.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

SettingsFile::SettingsFile(QString path) : m_path(std::move(path)) {}

QString SettingsFile::defaultPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.config");
    }
    return base + QStringLiteral("/Tovani/registry.reg");
}

bool SettingsFile::load(TRegistory& settings) {
    m_notice.clear();
    m_keepUnreadableCopy = false;
    RegistryFile registry;
    switch (registry.load(m_path)) {
    case RegistryFile::LoadStatus::Missing:
        settings.SetDefaults();
        return false;
    case RegistryFile::LoadStatus::Unreadable:
        settings.SetDefaults();
        m_notice = registry.loadError();
        m_keepUnreadableCopy = true;
        return false;
    case RegistryFile::LoadStatus::Loaded:
        break;
    }
    QString problem;
    switch (settings.LoadFromRegistry(registry, &problem)) {
    case TRegistory::LoadResult::Loaded:
        return true;
    case TRegistory::LoadResult::NoKey:
        return false;
    case TRegistory::LoadResult::Rejected:
        m_notice = QStringLiteral("%1: %2").arg(m_path, problem);
        return false;
    }
    return false;
}

bool SettingsFile::save(const TRegistory& settings, QString* error) {
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        if (error) {
            *error = QStringLiteral("%1: the folder cannot be created")
                         .arg(QFileInfo(m_path).absolutePath());
        }
        return false;
    }
    RegistryFile registry;
    if (m_keepUnreadableCopy) {
        const QString copy = m_path + QStringLiteral(".bad");
        QFile::remove(copy);
        if (!QFile::copy(m_path, copy)) {
            if (error) {
                *error = QStringLiteral("%1: the unreadable settings file cannot be kept as %2; "
                                        "it is left unchanged")
                             .arg(m_path, copy);
            }
            return false;
        }
        m_keepUnreadableCopy = false;
    } else if (registry.load(m_path) == RegistryFile::LoadStatus::Unreadable) {
        // Became unreadable since start: treat it the same way on the next save.
        m_keepUnreadableCopy = true;
        return save(settings, error);
    }
    settings.SaveToRegistry(registry);
    return registry.save(m_path, error);
}
