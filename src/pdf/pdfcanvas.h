// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The page canvas: appends content-stream operators to the current page's `Contents` and adds
/// the fonts and images they name to the page's `Resources`.

#include "pdf/pdftypes.h"

#include <cstdint>
#include <string_view>

class TPdfDoc;
class TPdfFont;

/// The text state kept between operators. Each setter checks its range first and changes the
/// value only when it differs.
class TPdfCanvasAttribute {
public:
    float WordSpace() const { return m_wordSpace; }
    /// 0 and above.
    void SetWordSpace(float value);
    float CharSpace() const { return m_charSpace; }
    /// -30 to 300.
    void SetCharSpace(float value);
    float FontSize() const { return m_fontSize; }
    /// 0 to 300.
    void SetFontSize(float value);
    float Leading() const { return m_leading; }
    /// 0 to 300.
    void SetLeading(float value);
    std::uint16_t HorizontalScaling() const { return m_horizontalScaling; }
    /// 10 to 300 percent.
    void SetHorizontalScaling(int value);
    TPdfFont* Font() const { return m_font; }
    void SetFont(TPdfFont* font) { m_font = font; }

    /// Throws the SetFontSize error when \p value is out of range.
    static void CheckFontSize(float value);

private:
    friend class TPdfCanvas;

    float m_wordSpace = 0;
    float m_charSpace = 0;
    float m_fontSize = 0;
    TPdfFont* m_font = nullptr;
    float m_leading = 0;
    std::uint16_t m_horizontalScaling = 100;
};

class TPdfCanvas {
public:
    /// A canvas without a document can only fail (GetDoc).
    explicit TPdfCanvas(TPdfDoc* doc) : m_doc(doc) {}
    TPdfCanvas(const TPdfCanvas&) = delete;
    TPdfCanvas& operator=(const TPdfCanvas&) = delete;

    /// Makes \p page current; the text state of the previous page is kept on it, and a new
    /// page starts with the default font.
    void SetPage(TPdfDictionary* page);
    /// Selects a font of the document (created on first use) at \p size points.
    void SetFont(std::string_view name, float size);
    /// Draws a registered image into the rectangle (x, y, w, h).
    void DrawXObject(float x, float y, float w, float h, std::string_view name);
    /// As DrawXObject, clipped to (clipX, clipY, clipW, clipH).
    void DrawXObjectEx(float x, float y, float w, float h, float clipX, float clipY, float clipW,
                       float clipH, std::string_view name);
    /// Sets the third or fourth number of the current page's `MediaBox`.
    void SetPageWidth(int width);
    void SetPageHeight(int height);

    /// The current page; throws when there is none.
    TPdfDictionary& GetPage() const;
    /// The owning document; throws when there is none.
    TPdfDoc& GetDoc() const;
    TPdfStream* Contents() const { return m_contents; }
    TPdfCanvasAttribute& Attributes() { return m_attributes; }
    const TPdfCanvasAttribute& Attributes() const { return m_attributes; }
    /// A virtual canvas never writes to a content stream.
    bool IsVirtual() const { return m_isVirtual; }
    void SetIsVirtual(bool value) { m_isVirtual = value; }

    /// Forgets the page and the font; the document is being freed.
    void Reset();

    // Operators, one line each, ending with LF.
    void GSave();
    void GRestore();
    void Concat(float a, float b, float c, float d, float e, float f);
    void Rectangle(float x, float y, float w, float h);
    void Clip();
    void NewPath();
    void SetFontAndSize(std::string_view fontKey, float size);
    void ExecuteXObject(std::string_view name);
    /// Appends \p text to the content stream unless the canvas is virtual or has none.
    void WriteOperator(std::string_view text);

private:
    TPdfDictionary& ResourceDictionary(const char* kind) const;
    void PlaceXObject(const char* operation, std::string_view name);

    TPdfDoc* m_doc;
    TPdfDictionary* m_page = nullptr;
    TPdfStream* m_contents = nullptr;
    TPdfCanvasAttribute m_attributes;
    bool m_isVirtual = false;
};
