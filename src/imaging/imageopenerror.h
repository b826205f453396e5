// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <stdexcept>

/// Raised when an image file cannot be opened for reading or created for writing: missing, no
/// access, a folder, or not a regular file. A file that opens but does not decode is no error;
/// the load reports it through IoFailed.
class ImageOpenError : public std::runtime_error {
public:
    enum class Access : std::uint8_t { Read, Write };

    ImageOpenError(const QString& path, const QString& reason, Access access = Access::Read);

    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }
    Access access() const { return m_access; }
    /// The message of what(), as text for a message box.
    QString message() const { return QString::fromUtf8(what()); }

private:
    QString m_path;
    QString m_reason;
    Access m_access;
};
