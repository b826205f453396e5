// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// File attributes as the program sees them on this platform: read-only is the owner's missing
/// write permission, hidden is a name that starts with ".", and a system entry is anything that
/// is neither a regular file nor a folder (device, socket, pipe, symbolic link).

#include <QFileInfo>
#include <QString>

namespace fileattributes {

bool isHidden(const QFileInfo& entry);
bool isSystemEntry(const QFileInfo& entry);
bool isReadOnly(const QFileInfo& entry);
/// A regular file that is neither hidden nor a system entry.
bool isPlainFile(const QFileInfo& entry);
/// Gives the owner write permission; false when that fails.
bool makeWritable(const QString& path);

} // namespace fileattributes
