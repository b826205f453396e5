// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/imageopenerror.h"

namespace {

std::string composeMessage(const QString& path, const QString& reason,
                           ImageOpenError::Access access) {
    const QString verb = access == ImageOpenError::Access::Read ? QStringLiteral("cannot open")
                                                                : QStringLiteral("cannot create");
    return QStringLiteral("%1 %2: %3").arg(verb, path, reason).toStdString();
}

} // namespace

ImageOpenError::ImageOpenError(const QString& path, const QString& reason, Access access)
    : std::runtime_error(composeMessage(path, reason, access)), m_path(path), m_reason(reason),
      m_access(access) {}
