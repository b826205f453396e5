// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Giving a finished file its final name without ever replacing a file that holds that name.

#include <QString>

enum class ExclusiveRename : quint8 {
    Renamed, ///< \p to now names the file; \p from is gone
    Taken,   ///< \p to exists already; nothing changed
    Failed,  ///< some other error; nothing changed
};

/// Renames \p from to \p to unless \p to exists, in one step that no other process can slip a
/// file into. File systems without an exclusive rename (some network shares) get a hard link
/// and the removal of the old name; ones without hard links get a check and a plain rename,
/// which the caller's lock on the folder must then protect. \p error receives the reason of a
/// failure.
ExclusiveRename renameWithoutReplacing(const QString& from, const QString& to, QString* error);
