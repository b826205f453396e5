// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/prannotation.h"

#include "pdf/pdfcanvas.h"

std::string TPRAnnotation::JoinLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            joined += "\r\n";
        }
        joined += lines[i];
    }
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    std::size_t begin = 0;
    std::size_t end = joined.size();
    while (begin < end && blank(joined[begin])) {
        ++begin;
    }
    while (end > begin && blank(joined[end - 1])) {
        --end;
    }
    std::string text;
    text.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
        if (joined[i] == '\r' && i + 1 < end && joined[i + 1] == '\n') {
            text += '\r';
            ++i;
        } else {
            text += joined[i];
        }
    }
    return text;
}

void TPRAnnotation::Print(TPRCanvas& canvas, const TPRRect& rect) {
    const int pageHeight = PageHeight();
    TPdfDictionary& annotation = canvas.PdfCanvas().GetDoc().AddAnotation(
        TPdfAnnotationSubType::asTextNotes,
        TPdfRect{static_cast<double>(rect.left), static_cast<double>(pageHeight - rect.bottom),
                 static_cast<double>(rect.right), static_cast<double>(pageHeight - rect.top)});
    annotation.Put("Contents", std::make_unique<TPdfText>(JoinLines(m_lines)));
    annotation.Put("S", std::make_unique<TPdfText>(m_caption));
    if (m_opened) {
        annotation.Put("Open", std::make_unique<TPdfBoolean>(true));
    }
}
