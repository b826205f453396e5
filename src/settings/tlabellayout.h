// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// One patient-label layout record: 50 bytes stored as a binary registry value. The program
/// only loads and saves these records; the accessors exist so the layout is documented in code
/// and the defaults are built field by field.

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

class TLabelLayout {
public:
    static constexpr int Size = 50;

    /// Byte offsets of the fields (little-endian integers).
    enum Offset : int {
        LeftOffset = 0,       ///< 4 bytes, signed
        TopOffset = 4,        ///< 4 bytes, signed
        FlagOffset = 8,       ///< 1 byte
        CharsetOffset = 9,    ///< 1 byte, 128 = Shift-JIS
        ColorOffset = 10,     ///< 4 bytes, system colour code
        FontNameOffset = 14,  ///< length byte + up to 30 bytes of CP932 text
        FontSizeOffset = 45,  ///< 4 bytes, signed, points
        FontStyleOffset = 49, ///< bold, italic, underline, strike-out in bits 0..3
    };
    static constexpr int FontNameCapacity = 30;

    /// A label at (left, top) with the default font ("ＭＳ Ｐゴシック", 9 points, window text
    /// colour).
    static TLabelLayout withDefaults(int left, int top);

    const std::array<std::uint8_t, Size>& bytes() const { return m_bytes; }
    QByteArray toByteArray() const;
    /// Overwrites the first bytes with \p data; data longer than the record is refused (false).
    bool overwriteStart(const QByteArray& data);

    int left() const { return readInt(LeftOffset); }
    int top() const { return readInt(TopOffset); }
    int fontSize() const { return readInt(FontSizeOffset); }
    std::uint32_t color() const { return static_cast<std::uint32_t>(readInt(ColorOffset)); }
    std::uint8_t flag() const { return m_bytes[FlagOffset]; }
    std::uint8_t charset() const { return m_bytes[CharsetOffset]; }
    std::uint8_t fontStyle() const { return m_bytes[FontStyleOffset]; }
    QString fontName() const;

    bool operator==(const TLabelLayout&) const = default;

private:
    int readInt(int offset) const;
    void writeInt(int offset, std::int32_t value);

    std::array<std::uint8_t, Size> m_bytes{};
};
