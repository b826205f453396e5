// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// A small RTF writer for the result lists of the index checks: one paragraph per line of
/// text, plain ASCII in the file, every other character as a \uN? escape so that any word
/// processor reads Japanese paths back whatever its code page.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace rtf {

/// The RTF document holding \p paragraphs, one per line of the file.
QByteArray document(const QStringList& paragraphs);

/// \p text escaped for the body of an RTF document: backslash and braces escaped, a tab as
/// \tab, every character beyond ASCII (and each half of a surrogate pair) as \uN?.
QByteArray escape(const QString& text);

/// Writes document(\p paragraphs) to \p path, replacing an existing file only once the new one
/// is complete. On failure returns false with the reason in \p error.
bool writeFile(const QString& path, const QStringList& paragraphs, QString* error = nullptr);

} // namespace rtf
