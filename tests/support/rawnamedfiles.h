// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Files whose names are bytes the file name encoding cannot decode (Latin-1 or code page 932
/// names copied from another system). Qt can neither name nor delete them, so a test's
/// temporary folder would stay behind: this removes them again when it goes.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <fcntl.h>
#include <unistd.h>

class RawNamedFiles {
public:
    RawNamedFiles() = default;
    RawNamedFiles(const RawNamedFiles&) = delete;
    RawNamedFiles& operator=(const RawNamedFiles&) = delete;
    ~RawNamedFiles() {
        for (const QByteArray& path : m_paths) {
            ::unlink(path.constData());
        }
    }

    /// Creates \p rawName (\p bytes as its content) in \p folder; false when that fails.
    bool create(const QString& folder, const QByteArray& rawName, const QByteArray& bytes = "x") {
        const QByteArray path = QFile::encodeName(folder) + '/' + rawName;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            return false;
        }
        m_paths << path;
        const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
        ::close(fd);
        return written;
    }

    bool exists(int index) const { return ::access(m_paths.at(index).constData(), F_OK) == 0; }

private:
    QList<QByteArray> m_paths;
};
