// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/programfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace programfiles {

bool isTemporaryChartName(const QString& fileName) {
    static const QRegularExpression pattern(QStringLiteral("^\\..*\\.[0-9a-f]{32}\\.tmp$"));
    return pattern.match(fileName).hasMatch();
}

bool isProgramFileName(const QString& fileName) {
    return fileName == FolderLockName || fileName.startsWith(OwnPrefix) ||
           isTemporaryChartName(fileName);
}

namespace {

bool isHexDigest(const QByteArray& text) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{64}$"));
    return pattern.match(QString::fromLatin1(text)).hasMatch();
}

} // namespace

QString writtenHashPath(const QString& chartPath) {
    const QFileInfo chart(chartPath);
    return chart.dir().filePath(OwnPrefix + QStringLiteral("hash-") + chart.fileName());
}

bool keepWrittenHash(const QString& chartPath, const QByteArray& sha256, QString* error) {
    if (!isHexDigest(sha256)) {
        *error = QStringLiteral("no hash was taken of %1").arg(chartPath);
        return false;
    }
    QSaveFile file(writtenHashPath(chartPath));
    if (!file.open(QIODevice::WriteOnly) || file.write(sha256 + '\n') != sha256.size() + 1 ||
        !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(file.fileName(), file.errorString());
        return false;
    }
    return true;
}

std::optional<QByteArray> writtenHash(const QString& chartPath) {
    QFile file(writtenHashPath(chartPath));
    const QFileInfo info(file.fileName());
    // Only a small regular file of our own: never a FIFO or a link placed there.
    if (info.isSymLink() || !info.isFile() || info.size() > 128 ||
        !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray text = file.readAll().trimmed();
    return isHexDigest(text) ? std::optional<QByteArray>(text) : std::nullopt;
}

void forgetWrittenHash(const QString& chartPath) {
    QFile::remove(writtenHashPath(chartPath));
}

} // namespace programfiles
