// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfcanvas.h"

#include "pdf/pdfdoc.h"
#include "pdf/pdffonts.h"
#include "pdf/pdfimages.h"

namespace {

// Range checks are written as "inside" tests so that NaN is refused too.
bool Within(float value, float low, float high) {
    return value >= low && value <= high;
}

} // namespace

// --- Text state ------------------------------------------------------------------------------

void TPdfCanvasAttribute::SetWordSpace(float value) {
    if (!(value >= 0)) {
        throw EPdfInvalidValue("SetWordSpace --invalid word space");
    }
    m_wordSpace = value;
}

void TPdfCanvasAttribute::SetCharSpace(float value) {
    if (!Within(value, -30, 300)) {
        throw EPdfInvalidValue("SetCharSpace --invalid char space");
    }
    m_charSpace = value;
}

void TPdfCanvasAttribute::CheckFontSize(float value) {
    if (!Within(value, 0, 300)) {
        throw EPdfInvalidValue("SetFontSize --invalid font size");
    }
}

void TPdfCanvasAttribute::SetFontSize(float value) {
    CheckFontSize(value);
    m_fontSize = value;
}

void TPdfCanvasAttribute::SetLeading(float value) {
    if (!Within(value, 0, 300)) {
        throw EPdfInvalidValue("SetLeading --invalid leading");
    }
    m_leading = value;
}

void TPdfCanvasAttribute::SetHorizontalScaling(int value) {
    if (value < 10 || value > 300) {
        throw EPdfInvalidValue("SetHorizontalScaling --invalid horizontal scaling");
    }
    m_horizontalScaling = static_cast<std::uint16_t>(value);
}

// --- Canvas ----------------------------------------------------------------------------------

TPdfDictionary& TPdfCanvas::GetPage() const {
    if (!m_page) {
        throw EPdfInvalidOperation("GetPage --the Page is nil");
    }
    return *m_page;
}

TPdfDoc& TPdfCanvas::GetDoc() const {
    if (!m_doc) {
        throw EPdfInvalidOperation("ERROR: GetDoc documant is nil.");
    }
    return *m_doc;
}

void TPdfCanvas::Reset() {
    m_page = nullptr;
    m_contents = nullptr;
    m_attributes.m_font = nullptr;
}

void TPdfCanvas::SetPage(TPdfDictionary* page) {
    if (m_page && m_attributes.m_font) {
        // Kept on the page for the program only; internal entries are never written.
        m_page->PutInternal("_Font", std::make_unique<TPdfName>(m_attributes.m_font->Name()));
        m_page->PutInternal("_Font_Size", std::make_unique<TPdfReal>(m_attributes.m_fontSize));
        m_page->PutInternal("_Word_Space", std::make_unique<TPdfReal>(m_attributes.m_wordSpace));
        m_page->PutInternal("_Char_Space", std::make_unique<TPdfReal>(m_attributes.m_charSpace));
        m_page->PutInternal("_HScalling",
                            std::make_unique<TPdfNumber>(m_attributes.m_horizontalScaling));
        m_page->PutInternal("_Leading", std::make_unique<TPdfReal>(m_attributes.m_leading));
    }
    m_page = page;
    m_contents = page ? dynamic_cast<TPdfStream*>(page->Lookup("Contents")) : nullptr;
    if (!page) {
        return;
    }

    if (const TPdfName* font = page->LookupName("_Font")) {
        const auto real = [&](const char* key) {
            const TPdfReal* value = page->LookupReal(key);
            return value ? static_cast<float>(value->Value()) : 0.0f;
        };
        m_attributes.m_font = &GetDoc().GetFont(font->Value());
        m_attributes.m_fontSize = real("_Font_Size");
        m_attributes.m_wordSpace = real("_Word_Space");
        m_attributes.m_charSpace = real("_Char_Space");
        m_attributes.m_leading = real("_Leading");
        const TPdfNumber* scaling = page->LookupNumber("_HScalling");
        m_attributes.m_horizontalScaling =
            scaling ? static_cast<std::uint16_t>(scaling->Value()) : 100;
        return;
    }
    m_attributes.m_font = nullptr;
    SetFont("Arial", 10);
    m_attributes.SetCharSpace(0);
    m_attributes.SetWordSpace(0);
    m_attributes.SetHorizontalScaling(100);
    m_attributes.SetLeading(0);
}

TPdfDictionary& TPdfCanvas::ResourceDictionary(const char* kind) const {
    TPdfDictionary& page = GetPage();
    TPdfDictionary* resources = page.LookupDictionary("Resources");
    if (!resources) {
        resources = page.Put("Resources", std::make_unique<TPdfDictionary>(page.ObjectMgr()));
    }
    TPdfDictionary* dictionary = resources->LookupDictionary(kind);
    if (!dictionary) {
        dictionary = resources->Put(kind, std::make_unique<TPdfDictionary>(page.ObjectMgr()));
    }
    return *dictionary;
}

void TPdfCanvas::SetFont(std::string_view name, float size) {
    TPdfCanvasAttribute::CheckFontSize(size);
    TPdfFont& font = GetDoc().GetFont(name);
    if (m_attributes.m_font == &font && size == m_attributes.m_fontSize) {
        return;
    }
    const std::string key = font.Data()->LookupName("Name")->Value();
    TPdfDictionary& fonts = ResourceDictionary("Font");
    if (!fonts.Lookup(key)) {
        fonts.Put(key, *font.Data());
    }
    if (m_contents) {
        SetFontAndSize(key, size);
    }
    m_attributes.m_font = &font;
    m_attributes.SetFontSize(size);
}

void TPdfCanvas::PlaceXObject(const char* operation, std::string_view name) {
    TPdfXObject* object = GetDoc().FindXObject(name);
    if (!object) {
        throw EPdfInvalidValue(std::string(operation) +
                               " --XObject not found: " + std::string(name));
    }
    TPdfDictionary& xobjects = ResourceDictionary("XObject");
    if (!xobjects.Lookup(name)) {
        xobjects.Put(name, *object);
    }
}

void TPdfCanvas::DrawXObject(float x, float y, float w, float h, std::string_view name) {
    PlaceXObject("DrawXObject", name);
    GSave();
    Concat(w, 0, 0, h, x, y);
    ExecuteXObject(name);
    GRestore();
}

void TPdfCanvas::DrawXObjectEx(float x, float y, float w, float h, float clipX, float clipY,
                               float clipW, float clipH, std::string_view name) {
    PlaceXObject("DrawXObjectEx", name);
    GSave();
    Rectangle(clipX, clipY, clipW, clipH);
    Clip();
    NewPath();
    Concat(w, 0, 0, h, x, y);
    ExecuteXObject(name);
    GRestore();
}

void TPdfCanvas::SetPageWidth(int width) {
    TPdfArray* mediaBox = GetPage().LookupArray("MediaBox");
    auto* number = mediaBox ? dynamic_cast<TPdfNumber*>(mediaBox->ItemAt(2)) : nullptr;
    if (!number) {
        throw EPdfInvalidOperation("Can not chenge width of this page..");
    }
    number->SetValue(width);
}

void TPdfCanvas::SetPageHeight(int height) {
    TPdfArray* mediaBox = GetPage().LookupArray("MediaBox");
    auto* number = mediaBox ? dynamic_cast<TPdfNumber*>(mediaBox->ItemAt(3)) : nullptr;
    if (!number) {
        throw EPdfInvalidOperation("Can not chenge height of this page..");
    }
    number->SetValue(height);
}

// --- Operators -------------------------------------------------------------------------------

void TPdfCanvas::WriteOperator(std::string_view text) {
    if (!m_isVirtual && m_contents) {
        m_contents->Data().append(text);
    }
}

void TPdfCanvas::GSave() {
    WriteOperator("q\n");
}

void TPdfCanvas::GRestore() {
    WriteOperator("Q\n");
}

void TPdfCanvas::Concat(float a, float b, float c, float d, float e, float f) {
    WriteOperator(FormatReal(a) + ' ' + FormatReal(b) + ' ' + FormatReal(c) + ' ' + FormatReal(d) +
                  ' ' + FormatReal(e) + ' ' + FormatReal(f) + " cm\n");
}

void TPdfCanvas::Rectangle(float x, float y, float w, float h) {
    WriteOperator(FormatReal(x) + ' ' + FormatReal(y) + ' ' + FormatReal(w) + ' ' + FormatReal(h) +
                  " re\n");
}

void TPdfCanvas::Clip() {
    WriteOperator("W\n");
}

void TPdfCanvas::NewPath() {
    WriteOperator("n\n");
}

void TPdfCanvas::SetFontAndSize(std::string_view fontKey, float size) {
    WriteOperator(EscapeName(fontKey) + ' ' + FormatReal(size) + " Tf\n");
}

void TPdfCanvas::ExecuteXObject(std::string_view name) {
    WriteOperator(EscapeName(name) + " Do\n");
}
