// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Where the settings object is kept: the per-user registry file. Loading never fails (a
/// missing, unreadable or rejected file gives the defaults); saving keeps an unreadable file
/// beside the new one as "<name>.bad" so that support can still recover what it held.

#include <QString>

class TRegistory;

class SettingsFile {
public:
    explicit SettingsFile(QString path);

    /// $XDG_CONFIG_HOME/Tovani/registry.reg, or ~/.config/Tovani/registry.reg when unset.
    static QString defaultPath();

    const QString& path() const { return m_path; }

    /// Loads \p settings from the file; \p settings holds the defaults when that is not
    /// possible. notice() then says why. True only when every value was read from the file
    /// (false also for a missing file or key, which give the defaults without a notice).
    bool load(TRegistory& settings);

    /// Writes \p settings into the file (other keys of the file are kept). On failure returns
    /// false with the reason in \p error.
    bool save(const TRegistory& settings, QString* error = nullptr);

    /// What the last load found wrong, empty when nothing was.
    const QString& notice() const { return m_notice; }

private:
    QString m_path;
    QString m_notice;
    bool m_keepUnreadableCopy = false;
};
