// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Removal of a half-written file when the process is told to stop (SIGTERM, SIGINT, SIGHUP).
/// A command that writes a temporary file installs the handlers once; the writer marks its file
/// for the time it exists. After removing the file the handler lets the signal end the process
/// as it would have.

#include <QString>

namespace signalcleanup {

/// Installs the handlers for SIGTERM, SIGINT and SIGHUP. Windows programs do not call it.
void removePendingFileOnTermination();

/// Marks \p path for removal by the handlers while this object lives. One file at a time: a
/// newer mark replaces the older.
class PendingRemoval {
public:
    explicit PendingRemoval(const QString& path);
    ~PendingRemoval();
    PendingRemoval(const PendingRemoval&) = delete;
    PendingRemoval& operator=(const PendingRemoval&) = delete;
};

} // namespace signalcleanup
