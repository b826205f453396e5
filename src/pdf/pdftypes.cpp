// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdftypes.h"

#include "platform/codepage/cp932.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string IntegerText(long long value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace

// --- Formatting ------------------------------------------------------------------------------

TPdfDateTime LocalDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return TPdfDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                        local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string PdfDate(const TPdfDateTime& time) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "D:%04d%02d%02d%02d%02d%02d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
    return buffer;
}

std::string PdfDate() {
    return PdfDate(LocalDateTime());
}

std::string FormatGeneral(double value) {
    if (!std::isfinite(value) || value == 0) {
        return "0";
    }
    // Fifteen significant digits in scientific form (d.dddddddddddddde±x), then laid out in
    // plain decimal: an exponent is not valid number syntax in a PDF.
    char buffer[40];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    const size_t e = text.find('e');
    const bool negative = text.front() == '-';
    std::string digits;
    for (char c : text.substr(0, e)) {
        if (c >= '0' && c <= '9') {
            digits += c;
        }
    }
    int exponent = 0;
    std::string_view exponentText = text.substr(e + 1);
    if (exponentText.front() == '+') {
        exponentText.remove_prefix(1);
    }
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }

    std::string out = negative ? "-" : "";
    const int integerDigits = exponent + 1;
    if (integerDigits <= 0) {
        out += "0.";
        out.append(static_cast<size_t>(-integerDigits), '0');
        out += digits;
    } else if (static_cast<size_t>(integerDigits) >= digits.size()) {
        out += digits;
        out.append(static_cast<size_t>(integerDigits) - digits.size(), '0');
    } else {
        out += digits.substr(0, static_cast<size_t>(integerDigits));
        out += '.';
        out += digits.substr(static_cast<size_t>(integerDigits));
    }
    return out;
}

std::string FormatReal(double value) {
    // Half up, so that negative operands round like positive ones (-1 stays -1).
    const double hundredths = std::floor(value * 100.0 + 0.5);
    if (!std::isfinite(hundredths)) {
        return "0";
    }
    if (std::fabs(hundredths) >= 1e15) {
        return FormatGeneral(hundredths / 100.0);
    }
    const auto scaled = static_cast<long long>(hundredths);
    const long long magnitude = scaled < 0 ? -scaled : scaled;
    std::string out = scaled < 0 ? "-" : "";
    out += IntegerText(magnitude / 100);
    const long long fraction = magnitude % 100;
    if (fraction != 0) {
        out += '.';
        out += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) {
            out += static_cast<char>('0' + fraction % 10);
        }
    }
    return out;
}

std::string EscapeText(std::string_view utf8) {
    const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        std::string out = "(";
        for (char c : utf8) {
            switch (c) {
            case '(':
                out += "\\(";
                break;
            case ')':
                out += "\\)";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                out += c;
            }
        }
        out += ')';
        return out;
    }
    // UTF-16 with its byte-order mark, exactly as typed. No language escape follows the mark:
    // in a PDF 1.2 file readers take it for characters and show them in front of every title.
    const std::u16string units = cp932::toUtf16(utf8);
    std::string out = "<FEFF";
    out.reserve(out.size() + units.size() * 4 + 1);
    for (char16_t unit : units) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            out += kHexDigits[(unit >> shift) & 0xF];
        }
    }
    out += '>';
    return out;
}

std::string EscapeName(std::string_view name) {
    std::string out = "/";
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool escaped = byte <= 0x20 || byte >= 0x7F ||
                             std::string_view("#%()/<>[]{}").find(c) != std::string_view::npos;
        if (escaped) {
            out += '#';
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

// --- Objects ---------------------------------------------------------------------------------

void TPdfObject::WriteTo(TPdfOutput& out) {
    if (m_objectType == TPdfObjectType::otDirect) {
        WriteBody(out);
        return;
    }
    WriteString(out, IntegerText(m_objectNumber) + ' ' + IntegerText(m_generationNumber) + " R");
}

void TPdfObject::WriteDefinition(TPdfOutput& out) {
    if (m_objectType != TPdfObjectType::otIndirect) {
        throw EPdfInvalidOperation("internal error wrong object type");
    }
    WriteString(out,
                IntegerText(m_objectNumber) + ' ' + IntegerText(m_generationNumber) + " obj\r\n");
    WriteBody(out);
    WriteString(out, "\r\nendobj\r\n");
}

void TPdfNull::WriteBody(TPdfOutput& out) {
    WriteString(out, "null");
}

void TPdfBoolean::WriteBody(TPdfOutput& out) {
    WriteString(out, m_value ? "true" : "false");
}

void TPdfNumber::WriteBody(TPdfOutput& out) {
    WriteString(out, IntegerText(m_value));
}

void TPdfReal::WriteBody(TPdfOutput& out) {
    WriteString(out, FormatGeneral(m_value));
}

void TPdfText::WriteBody(TPdfOutput& out) {
    WriteString(out, EscapeText(m_value));
}

void TPdfName::WriteBody(TPdfOutput& out) {
    WriteString(out, EscapeName(m_value));
}

TPdfVirtualObject::TPdfVirtualObject() {
    throw std::runtime_error("virtualObject must be create by CreateVirtual method.");
}

TPdfVirtualObject::TPdfVirtualObject(Tag, int number) {
    m_objectType = TPdfObjectType::otVirtual;
    m_objectNumber = number;
}

std::unique_ptr<TPdfVirtualObject> TPdfVirtualObject::CreateVirtual(int number) {
    return std::unique_ptr<TPdfVirtualObject>(new TPdfVirtualObject(Tag{}, number));
}

// --- Array -----------------------------------------------------------------------------------

TPdfArray::TPdfArray(TPdfObjectMgr* objectMgr, std::initializer_list<int> numbers)
    : m_objectMgr(objectMgr) {
    for (const int number : numbers) {
        Append(std::make_unique<TPdfNumber>(number));
    }
}

TPdfObject* TPdfArray::AppendOwned(std::unique_ptr<TPdfObject> item) {
    if (!item) {
        throw EPdfInvalidValue("internal error. wrong object.");
    }
    m_items.push_back(std::move(item));
    return m_items.back().get();
}

void TPdfArray::Append(const TPdfObject& item) {
    const bool present = std::any_of(m_items.begin(), m_items.end(),
                                     [&](const auto& own) { return own.get() == &item; });
    if (present) {
        return;
    }
    if (item.ObjectType() == TPdfObjectType::otDirect) {
        // A direct object belongs to its one container; it cannot be shared.
        throw EPdfInvalidValue("internal error. wrong object.");
    }
    m_items.push_back(TPdfVirtualObject::CreateVirtual(item.ObjectNumber()));
}

TPdfObject* TPdfArray::ItemAt(int index) const {
    if (index < 0 || index >= ItemCount()) {
        return nullptr;
    }
    TPdfObject* item = m_items[static_cast<size_t>(index)].get();
    if (item->ObjectType() == TPdfObjectType::otVirtual) {
        return m_objectMgr ? m_objectMgr->ObjectByNumber(item->ObjectNumber()) : nullptr;
    }
    return item;
}

TPdfName* TPdfArray::FindNameItem(std::string_view name) const {
    for (const auto& item : m_items) {
        auto* candidate = dynamic_cast<TPdfName*>(item.get());
        if (candidate && candidate->Value() == name) {
            return candidate;
        }
    }
    return nullptr;
}

bool TPdfArray::RemoveNameItem(std::string_view name) {
    const auto it = std::find_if(m_items.begin(), m_items.end(), [&](const auto& item) {
        const auto* candidate = dynamic_cast<const TPdfName*>(item.get());
        return candidate && candidate->Value() == name;
    });
    if (it == m_items.end()) {
        return false;
    }
    m_items.erase(it);
    return true;
}

void TPdfArray::WriteBody(TPdfOutput& out) {
    WriteString(out, "[");
    for (const auto& item : m_items) {
        item->WriteTo(out);
        WriteString(out, " ");
    }
    WriteString(out, "]");
}

// --- Dictionary ------------------------------------------------------------------------------

TPdfObject* TPdfDictionary::PutObject(std::string_view key, std::unique_ptr<TPdfObject> value,
                                      bool internal) {
    if (!value) {
        throw EPdfInvalidValue("internal error. wrong object.");
    }
    Remove(key);
    m_elements.push_back(
        std::make_unique<TPdfDictionaryElement>(std::string(key), std::move(value), internal));
    return &m_elements.back()->Value();
}

void TPdfDictionary::PutReference(std::string_view key, const TPdfObject& indirect, bool internal) {
    if (indirect.ObjectType() == TPdfObjectType::otDirect) {
        // A direct object belongs to its one container; it cannot be shared.
        throw EPdfInvalidValue("internal error. wrong object.");
    }
    PutObject(key, TPdfVirtualObject::CreateVirtual(indirect.ObjectNumber()), internal);
}

void TPdfDictionary::Remove(std::string_view key) {
    const auto it = std::find_if(m_elements.begin(), m_elements.end(),
                                 [&](const auto& element) { return element->Key() == key; });
    if (it != m_elements.end()) {
        m_elements.erase(it);
    }
}

TPdfObject* TPdfDictionary::Lookup(std::string_view key) const {
    for (const auto& element : m_elements) {
        if (element->Key() != key) {
            continue;
        }
        TPdfObject& value = element->Value();
        if (value.ObjectType() == TPdfObjectType::otVirtual) {
            return m_objectMgr ? m_objectMgr->ObjectByNumber(value.ObjectNumber()) : nullptr;
        }
        return &value;
    }
    return nullptr;
}

TPdfNumber* TPdfDictionary::LookupNumber(std::string_view key) const {
    return LookupAs<TPdfNumber>(key);
}
TPdfReal* TPdfDictionary::LookupReal(std::string_view key) const {
    return LookupAs<TPdfReal>(key);
}
TPdfName* TPdfDictionary::LookupName(std::string_view key) const {
    return LookupAs<TPdfName>(key);
}
TPdfText* TPdfDictionary::LookupText(std::string_view key) const {
    return LookupAs<TPdfText>(key);
}
TPdfArray* TPdfDictionary::LookupArray(std::string_view key) const {
    return LookupAs<TPdfArray>(key);
}
TPdfDictionary* TPdfDictionary::LookupDictionary(std::string_view key) const {
    return LookupAs<TPdfDictionary>(key);
}

std::string TPdfDictionary::TypeOf() const {
    const TPdfName* type = LookupName("Type");
    return type ? type->Value() : std::string();
}

void TPdfDictionary::WriteBody(TPdfOutput& out) {
    WriteString(out, "<<\r\n");
    for (const auto& element : m_elements) {
        if (element->IsInternal()) {
            continue;
        }
        WriteString(out, EscapeName(element->Key()));
        WriteString(out, " ");
        element->Value().WriteTo(out);
        WriteString(out, "\r\n");
    }
    WriteString(out, ">>");
}

// --- Streams ---------------------------------------------------------------------------------

TPdfStream::TPdfStream(TPdfObjectMgr* objectMgr) : m_attributes(objectMgr) {
    m_attributes.Put("Length", std::make_unique<TPdfNumber>(0));
    m_attributes.Put("Filter", std::make_unique<TPdfArray>(objectMgr));
}

void TPdfStream::WriteBody(TPdfOutput& out) {
    if (TPdfArray* filter = m_attributes.LookupArray("Filter")) {
        while (filter->RemoveNameItem("FlateDecode")) {
        }
    }
    TPdfNumber* length = m_attributes.LookupNumber("Length");
    assert(length && "a stream keeps its Length entry");
    if (length) {
        length->SetValue(static_cast<std::int32_t>(m_data.size()));
    }
    m_attributes.WriteTo(out);
    WriteString(out, "\r\nstream\r\n");
    // Written straight from the buffer: image data is large and must not be copied again.
    out.write(m_data.data(), m_data.size());
    WriteString(out, "\nendstream");
}

void TPdfBinary::WriteBody(TPdfOutput& out) {
    out.write(m_data.data(), m_data.size());
}
