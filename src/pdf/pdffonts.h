// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The twelve standard Type 1 fonts. No font data is embedded: a font is a small dictionary
/// naming a font every viewer has built in, plus its WinAnsi width table for measuring text.

#include "pdf/pdfdictionarywrapper.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TPdfFont : public TPdfDictionaryWrapper {
public:
    /// \p name is the name under which the font was requested ("Arial").
    TPdfFont(TPdfObjectMgr& objectMgr, std::string name) : m_name(std::move(name)) {}

    const std::string& Name() const { return m_name; }
    /// Width of the byte at the 1-based \p position of \p text in 1/1000 of the font size;
    /// 0 outside the text.
    virtual int CharWidth(std::string_view text, int position) const { return 0; }

private:
    std::string m_name;
};

class TPdfType1Font : public TPdfFont {
public:
    /// Registers the font dictionary for \p baseFont with \p widths for the codes 32..255.
    TPdfType1Font(TPdfObjectMgr& objectMgr, std::string name, std::string_view baseFont,
                  const std::array<std::uint16_t, 224>& widths);

    /// Fills the width table from the dictionary's `MissingWidth`, `FirstChar` and `Widths`.
    void SetData(TPdfDictionary* data) override;
    int CharWidth(std::string_view text, int position) const override;

    std::uint8_t FirstChar() const { return m_firstChar; }
    std::uint8_t LastChar() const { return m_lastChar; }
    const std::array<std::uint16_t, 256>& Widths() const { return m_widths; }

private:
    std::uint8_t m_firstChar = 0;
    std::uint8_t m_lastChar = 0;
    std::array<std::uint16_t, 256> m_widths{};
};

#define PDF_STANDARD_FONT(ClassName)                                                               \
    class ClassName : public TPdfType1Font { /* NOLINT(bugprone-macro-parentheses) */              \
    public:                                                                                        \
        ClassName(TPdfObjectMgr& objectMgr, std::string name);                                     \
    }

PDF_STANDARD_FONT(TPdfFixedWidth);
PDF_STANDARD_FONT(TPdfFixedWidthBold);
PDF_STANDARD_FONT(TPdfFixedWidthItalic);
PDF_STANDARD_FONT(TPdfFixedWidthBoldItalic);
PDF_STANDARD_FONT(TPdfArial);
PDF_STANDARD_FONT(TPdfArialBold);
PDF_STANDARD_FONT(TPdfArialItalic);
PDF_STANDARD_FONT(TPdfArialBoldItalic);
PDF_STANDARD_FONT(TPdfTimesRoman);
PDF_STANDARD_FONT(TPdfTimesBold);
PDF_STANDARD_FONT(TPdfTimesItalic);
PDF_STANDARD_FONT(TPdfTimesBoldItalic);

#undef PDF_STANDARD_FONT

/// The font class registered under \p name ("Arial", "Times-Roman", "FixedWidth-Bold" ...),
/// constructed with that name; nullptr when no class is registered under it.
std::unique_ptr<TPdfFont> CreateFont(std::string_view name, TPdfObjectMgr& objectMgr);

/// The names under which fonts are registered.
std::vector<std::string> RegisteredFontNames();
