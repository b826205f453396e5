// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by the benchmarks: a scanner folder filled from the corpus that make_corpus.sh builds.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>
#include <unistd.h>

namespace benchcorpus {

/// The colour scans of \p corpus ("jpg/page-*.jpg"), sorted by name.
inline QStringList scans(const QString& corpus) {
    QStringList files;
    const QDir dir(corpus + QStringLiteral("/jpg"));
    for (const auto& name : dir.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name)) {
        files << dir.filePath(name);
    }
    return files;
}

/// Fills \p folder with \p count pages taken round-robin from \p scans, as hard links so that
/// nothing is copied (a symbolic link would not count as a page).
inline bool fill(const QString& folder, const QStringList& scans, int count) {
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        const QString target =
            QStringLiteral("%1/scan-%2.jpg").arg(folder).arg(i + 1, 3, 10, QLatin1Char('0'));
        const QString source = scans.at(i % scans.size());
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) !=
                0 &&
            !QFile::copy(source, target)) {
            return false;
        }
    }
    return true;
}

} // namespace benchcorpus
