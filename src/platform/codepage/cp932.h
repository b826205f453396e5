// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Code page 932 (Windows Shift-JIS) as the rest of the system sees it: byte lengths, cuts that
/// never split a double-byte character, and conversion to and from UTF-8.
///
/// The archive's byte limits (folder prefixes, labels, bookmarks, index keywords) and the bytes
/// written into PDF strings and text files are defined on the CP932 form of a text, so every such
/// decision goes through this one place. Text is UTF-8 everywhere else. Plain C++, no Qt, so the
/// PDF writer can use it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace cp932 {

/// CP932 bytes of a UTF-8 text, or std::nullopt when some character has no CP932 form.
/// Invalid UTF-8 counts as a character without a CP932 form.
std::optional<std::string> encode(std::string_view utf8);

/// UTF-8 text of CP932 bytes. A byte sequence that is not valid CP932 becomes U+FFFD and
/// decoding goes on after it; \p valid (when given) tells whether that happened.
std::string decode(std::string_view bytes, bool* valid = nullptr);

/// Length in bytes of the CP932 form. A character that CP932 cannot hold counts as two bytes,
/// as a full-width character does.
std::size_t byteLength(std::string_view utf8);

/// The longest leading part of \p utf8 whose CP932 form takes at most \p maxBytes bytes.
/// A character is kept whole or dropped whole.
std::string truncate(std::string_view utf8, std::size_t maxBytes);

/// True when some character is double-byte in CP932 or has no CP932 form at all. Single-byte
/// characters (ASCII, half-width katakana) do not count.
bool hasDoubleByte(std::string_view utf8);

/// True for the bytes that open a double-byte character in CP932 (0x81-0x9F, 0xE0-0xFC).
constexpr bool isLeadByte(unsigned char byte) noexcept {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

/// UTF-16 code units of a UTF-8 text; invalid UTF-8 becomes U+FFFD.
std::u16string toUtf16(std::string_view utf8);

} // namespace cp932
