// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdffonts.h"

#include "pdf/pdffontwidths.h"

#include <functional>

TPdfType1Font::TPdfType1Font(TPdfObjectMgr& objectMgr, std::string name, std::string_view baseFont,
                             const std::array<std::uint16_t, 224>& widths)
    : TPdfFont(objectMgr, std::move(name)) {
    auto* dictionary = objectMgr.Add(std::make_unique<TPdfDictionary>(&objectMgr));
    dictionary->Put("Type", std::make_unique<TPdfName>("Font"));
    dictionary->Put("Subtype", std::make_unique<TPdfName>("Type1"));
    dictionary->Put("Encoding", std::make_unique<TPdfName>("WinAnsiEncoding"));
    dictionary->Put("FirstChar", std::make_unique<TPdfNumber>(32));
    dictionary->Put("LastChar", std::make_unique<TPdfNumber>(255));
    dictionary->Put("BaseFont", std::make_unique<TPdfName>(std::string(baseFont)));
    // Kept for measuring only: every viewer has these fonts' metrics built in.
    dictionary->PutInternal("Widths", std::make_unique<TPdfArray>(&objectMgr, widths));
    SetData(dictionary);
}

void TPdfType1Font::SetData(TPdfDictionary* data) {
    TPdfFont::SetData(data);
    if (!data) {
        return;
    }
    const TPdfNumber* missingWidth = data->LookupNumber("MissingWidth");
    m_widths.fill(missingWidth ? static_cast<std::uint16_t>(missingWidth->Value()) : 0);
    const TPdfNumber* firstChar = data->LookupNumber("FirstChar");
    const TPdfNumber* lastChar = data->LookupNumber("LastChar");
    m_firstChar = firstChar ? static_cast<std::uint8_t>(firstChar->Value()) : 0;
    m_lastChar = lastChar ? static_cast<std::uint8_t>(lastChar->Value()) : 0;
    if (const TPdfArray* widths = data->LookupArray("Widths")) {
        for (int i = 0; i < widths->ItemCount() && m_firstChar + i < 256; ++i) {
            if (const auto* width = dynamic_cast<const TPdfNumber*>(widths->ItemAt(i))) {
                m_widths[static_cast<size_t>(m_firstChar + i)] =
                    static_cast<std::uint16_t>(width->Value());
            }
        }
    }
}

int TPdfType1Font::CharWidth(std::string_view text, int position) const {
    if (position < 1 || static_cast<size_t>(position) > text.size()) {
        return 0;
    }
    return m_widths[static_cast<unsigned char>(text[static_cast<size_t>(position) - 1])];
}

#define PDF_STANDARD_FONT_CONSTRUCTOR(ClassName, baseFont, widths)                                 \
    ClassName::ClassName(TPdfObjectMgr& objectMgr, std::string name)                               \
        : TPdfType1Font(objectMgr, std::move(name), baseFont, pdffontwidths::widths) {}

PDF_STANDARD_FONT_CONSTRUCTOR(TPdfFixedWidth, "Courier", kCourier)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfFixedWidthBold, "Courier-Bold", kCourierBold)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfFixedWidthItalic, "Courier-Oblique", kCourierOblique)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfFixedWidthBoldItalic, "Courier-BoldOblique", kCourierBoldOblique)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfArial, "Helvetica", kHelvetica)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfArialBold, "Helvetica-Bold", kHelveticaBold)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfArialItalic, "Helvetica-Oblique", kHelveticaOblique)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfArialBoldItalic, "Helvetica-BoldOblique", kHelveticaBoldOblique)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfTimesRoman, "Times-Roman", kTimesRoman)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfTimesBold, "Times-Bold", kTimesBold)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfTimesItalic, "Times-Italic", kTimesItalic)
PDF_STANDARD_FONT_CONSTRUCTOR(TPdfTimesBoldItalic, "Times-BoldItalic", kTimesBoldItalic)

#undef PDF_STANDARD_FONT_CONSTRUCTOR

namespace {

using TFontFactory = std::unique_ptr<TPdfFont> (*)(TPdfObjectMgr&, std::string);

template <class T> std::unique_ptr<TPdfFont> Make(TPdfObjectMgr& objectMgr, std::string name) {
    return std::make_unique<T>(objectMgr, std::move(name));
}

struct TRegisteredFont {
    const char* name;
    TFontFactory factory;
};

constexpr TRegisteredFont kRegisteredFonts[] = {
    {"FixedWidth", Make<TPdfFixedWidth>},
    {"FixedWidth-Bold", Make<TPdfFixedWidthBold>},
    {"FixedWidth-Italic", Make<TPdfFixedWidthItalic>},
    {"FixedWidth-BoldItalic", Make<TPdfFixedWidthBoldItalic>},
    {"Arial", Make<TPdfArial>},
    {"Arial-Bold", Make<TPdfArialBold>},
    {"Arial-Italic", Make<TPdfArialItalic>},
    {"Arial-BoldItalic", Make<TPdfArialBoldItalic>},
    {"Times-Roman", Make<TPdfTimesRoman>},
    {"Times-Bold", Make<TPdfTimesBold>},
    {"Times-Italic", Make<TPdfTimesItalic>},
    {"Times-BoldItalic", Make<TPdfTimesBoldItalic>},
};

} // namespace

std::unique_ptr<TPdfFont> CreateFont(std::string_view name, TPdfObjectMgr& objectMgr) {
    for (const auto& font : kRegisteredFonts) {
        if (name == font.name) {
            return font.factory(objectMgr, std::string(name));
        }
    }
    return nullptr;
}

std::vector<std::string> RegisteredFontNames() {
    std::vector<std::string> names;
    for (const auto& font : kRegisteredFonts) {
        names.emplace_back(font.name);
    }
    return names;
}
