// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/exclusiverename.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool unsupported(int reason) {
    return reason == EINVAL || reason == ENOSYS || reason == ENOTSUP || reason == EOPNOTSUPP;
}

bool linkUnsupported(int reason) {
    return unsupported(reason) || reason == EPERM;
}

} // namespace

ExclusiveRename renameWithoutReplacing(const QString& from, const QString& to, QString* error) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    auto failed = [&](int reason) {
        if (error) {
            *error =
                QStringLiteral("%1: %2").arg(to, QString::fromLocal8Bit(std::strerror(reason)));
        }
        return ExclusiveRename::Failed;
    };

    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return ExclusiveRename::Renamed;
    }
    int reason = errno;
    if (reason == EEXIST) {
        return ExclusiveRename::Taken;
    }
    if (!unsupported(reason)) {
        return failed(reason);
    }

    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return ExclusiveRename::Renamed;
    }
    reason = errno;
    if (reason == EEXIST) {
        return ExclusiveRename::Taken;
    }
    if (!linkUnsupported(reason)) {
        return failed(reason);
    }

    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0) {
        return ExclusiveRename::Taken;
    }
    if (std::rename(source.constData(), target.constData()) != 0) {
        return failed(errno);
    }
    return ExclusiveRename::Renamed;
}
