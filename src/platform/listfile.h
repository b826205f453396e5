// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The one-item-per-line list files kept beside the program (keyword, comment and bookmark
/// lists). Reading accepts CR LF, CR or LF; writing ends every line with CR LF. Files are
/// code page 932; a list holding text that CP932 cannot keep is written as UTF-8 with a
/// byte-order mark instead, so nothing typed is ever lost. Reading takes a file as UTF-8 when
/// it starts with that mark, or when it is not valid CP932 but valid UTF-8; every other file
/// is CP932.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace listfile {

/// Items of a list file's bytes. A last line without a line end is still an item; an empty
/// line is an empty item. A file valid in neither encoding is read as CP932, each invalid byte
/// as U+FFFD.
QStringList parse(const QByteArray& bytes);

/// Bytes of a list file holding \p items.
QByteArray serialize(const QStringList& items);

/// Reads the list file at \p path. Returns false (and an empty list) when it cannot be read.
bool read(const QString& path, QStringList& items);

/// Replaces the file at \p path with \p items; a crash never leaves half a file. On failure
/// returns false with the reason in \p error.
bool write(const QString& path, const QStringList& items, QString* error = nullptr);

} // namespace listfile
