// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// QString forms of the code page 932 helpers. Windows hold text as QString; the byte limits and
/// the file encodings are decided on the CP932 form, through these.

#include "platform/codepage/cp932.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace cp932 {

/// CP932 byte length of \p text; characters CP932 cannot hold count two bytes.
int qByteLength(const QString& text);

/// The longest leading part of \p text that fits in \p maxBytes CP932 bytes, never splitting a
/// character.
QString qTruncate(const QString& text, int maxBytes);

/// CP932 bytes of \p text, or std::nullopt when a character has no CP932 form.
std::optional<QByteArray> qEncode(const QString& text);

/// Text of CP932 bytes; invalid sequences become U+FFFD (\p valid tells whether any did).
QString qDecode(const QByteArray& bytes, bool* valid = nullptr);

/// True when \p text survives the trip to CP932 and back unchanged. Some characters have a
/// CP932 form that reads back as another character (the yen sign becomes a backslash).
bool qRoundTrips(const QString& text);

} // namespace cp932
