// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fileattributes.h"

#include <QFile>

namespace fileattributes {

bool isHidden(const QFileInfo& entry) {
    return entry.fileName().startsWith(u'.');
}

bool isSystemEntry(const QFileInfo& entry) {
    return entry.isSymLink() || (!entry.isFile() && !entry.isDir());
}

bool isReadOnly(const QFileInfo& entry) {
    return !(entry.permissions() & QFileDevice::WriteOwner);
}

bool isPlainFile(const QFileInfo& entry) {
    return entry.isFile() && !isSystemEntry(entry) && !isHidden(entry);
}

bool makeWritable(const QString& path) {
    return QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
}

} // namespace fileattributes
