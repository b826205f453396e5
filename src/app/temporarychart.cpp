// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/temporarychart.h"

#include "platform/filelock.h"
#include "platform/programfiles.h"

#include <QDir>
#include <QFile>
#include <QUuid>

namespace temporarychart {

namespace {

constexpr qsizetype NameMax = 255;

/// The longest start of \p text whose encoded name has at most \p bytes bytes.
QString leadingBytes(const QString& text, qsizetype bytes) {
    QString kept = text;
    while (!kept.isEmpty() && QFile::encodeName(kept).size() > bytes) {
        kept.chop(kept.size() >= 2 && kept.back().isLowSurrogate() ? 2 : 1);
    }
    return kept;
}

} // namespace

QString lockFileName() {
    return programfiles::FolderLockName;
}

QString freshName(const QString& chartName) {
    const QString tail = QStringLiteral(".%1.tmp").arg(QUuid::createUuid().toString(QUuid::Id128));
    const qsizetype room = NameMax - 1 - QFile::encodeName(tail).size();
    return QLatin1Char('.') + leadingBytes(chartName, room) + tail;
}

bool isTemporaryName(const QString& fileName) {
    return programfiles::isTemporaryChartName(fileName);
}

int removeStale(const QString& folder) {
    int removed = 0;
    const QStringList names =
        QDir(folder).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        if (!isTemporaryName(name)) {
            continue;
        }
        const QString path = QDir(folder).filePath(name);
        // A writer holds its temporary file locked; one we can lock has no writer left.
        const auto abandoned = FileLock::tryExisting(path);
        if (abandoned && abandoned->stillNames(path) && QFile::remove(path)) {
            ++removed;
        }
    }
    return removed;
}

} // namespace temporarychart
