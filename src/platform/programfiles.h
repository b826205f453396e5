// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The files and folders the program keeps beside the charts and the pages for itself: the lock
/// of a patient folder, a chart being written, the hash of a chart whose row could not be
/// written, spools and holding folders. None of them is ever offered, listed, counted or
/// registered as a chart or taken in as a page.

#include <QByteArray>
#include <QString>
#include <optional>

namespace programfiles {

/// The lock file that saves into one patient folder take turns on.
inline const QString FolderLockName = QStringLiteral(".pelorafile.lock");
/// The start of the name of every other file or folder of the program's own.
inline const QString OwnPrefix = QStringLiteral(".pelorafile-");

/// Whether \p fileName (a name, not a path) is a chart being written: "." + the chart's name +
/// "." + 32 hexadecimal digits + ".tmp".
bool isTemporaryChartName(const QString& fileName);

/// Whether \p fileName (a name, not a path) is one of the program's own files or folders.
bool isProgramFileName(const QString& fileName);

/// The side file beside a chart that keeps the SHA-256 taken while the chart was written, when
/// its index row could not be written: the registration check files the row with that hash, so
/// a chart changed in between is still found out.
QString writtenHashPath(const QString& chartPath);
/// Keeps \p sha256 (64 hexadecimal digits) for the chart at \p chartPath; false with the reason
/// in \p error.
bool keepWrittenHash(const QString& chartPath, const QByteArray& sha256, QString* error);
/// The hash kept for the chart at \p chartPath, if a well-formed one is there.
std::optional<QByteArray> writtenHash(const QString& chartPath);
/// Removes the kept hash once the chart's row holds it.
void forgetWrittenHash(const QString& chartPath);

} // namespace programfiles
