// SPDX-License-Identifier: GPL-3.0-or-later
#include "cp932.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <vector>

namespace cp932 {
namespace {

/// One iconv conversion descriptor, closed with its owner. Descriptors are not shared between
/// calls, so the helpers are safe to use from several threads at once.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " +
                                     to);
        }
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    /// Converts one complete unit (one character); false when iconv refuses it.
    bool convert(std::string_view in, std::string& out) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[16];
        auto* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            return false;
        }
        if (iconv(m_cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            return false;
        }
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        return true;
    }

private:
    iconv_t m_cd;
};

/// Length of the UTF-8 sequence that starts at \p pos, or 0 when it is not valid UTF-8.
size_t utf8SequenceLength(std::string_view text, size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t length = 0;
    char32_t minimum = 0;
    char32_t cp = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size()) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if ((byte & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (byte & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return length;
}

char32_t decodeUtf8(std::string_view sequence) {
    const auto lead = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) {
        return lead;
    }
    char32_t cp = lead & (0xFF >> (sequence.size() + 1));
    for (size_t i = 1; i < sequence.size(); ++i) {
        cp = (cp << 6) | (static_cast<unsigned char>(sequence[i]) & 0x3F);
    }
    return cp;
}

/// Walks the characters of a UTF-8 text with their CP932 bytes (empty when the character has
/// no CP932 form). The callback returns false to stop the walk.
template <typename Callback> void forEachCharacter(std::string_view utf8, Callback&& callback) {
    std::optional<Converter> converter;
    std::string bytes;
    size_t pos = 0;
    while (pos < utf8.size()) {
        size_t length = utf8SequenceLength(utf8, pos);
        bytes.clear();
        if (length == 0) {
            length = 1; // an invalid byte stands alone and has no CP932 form
        } else if (length == 1) {
            bytes.push_back(utf8[pos]); // ASCII is CP932 unchanged
        } else {
            if (!converter) {
                converter.emplace("CP932", "UTF-8");
            }
            converter->convert(utf8.substr(pos, length), bytes);
        }
        if (!callback(utf8.substr(pos, length), std::string_view(bytes))) {
            return;
        }
        pos += length;
    }
}

size_t cp932Width(std::string_view bytes) {
    return bytes.empty() ? 2 : bytes.size();
}

} // namespace

std::optional<std::string> encode(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    bool representable = true;
    forEachCharacter(utf8, [&](std::string_view, std::string_view bytes) {
        if (bytes.empty()) {
            representable = false;
            return false;
        }
        out.append(bytes);
        return true;
    });
    if (!representable) {
        return std::nullopt;
    }
    return out;
}

std::string decode(std::string_view bytes, bool* valid) {
    static constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::optional<Converter> converter;
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    bool allValid = true;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const auto byte = static_cast<unsigned char>(bytes[pos]);
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
            ++pos;
            continue;
        }
        const size_t length = isLeadByte(byte) && pos + 1 < bytes.size() ? 2 : 1;
        if (!converter) {
            converter.emplace("UTF-8", "CP932");
        }
        if (converter->convert(bytes.substr(pos, length), out)) {
            pos += length;
        } else {
            out.append(replacement);
            allValid = false;
            ++pos;
        }
    }
    if (valid) {
        *valid = allValid;
    }
    return out;
}

std::size_t byteLength(std::string_view utf8) {
    size_t total = 0;
    forEachCharacter(utf8, [&](std::string_view, std::string_view bytes) {
        total += cp932Width(bytes);
        return true;
    });
    return total;
}

std::string truncate(std::string_view utf8, std::size_t maxBytes) {
    size_t total = 0;
    size_t keep = 0;
    forEachCharacter(utf8, [&](std::string_view character, std::string_view bytes) {
        total += cp932Width(bytes);
        if (total > maxBytes) {
            return false;
        }
        keep += character.size();
        return true;
    });
    return std::string(utf8.substr(0, keep));
}

bool hasDoubleByte(std::string_view utf8) {
    bool found = false;
    forEachCharacter(utf8, [&](std::string_view, std::string_view bytes) {
        found = bytes.size() != 1;
        return !found;
    });
    return found;
}

std::u16string toUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const size_t length = utf8SequenceLength(utf8, pos);
        if (length == 0) {
            out.push_back(u'\uFFFD');
            ++pos;
            continue;
        }
        const char32_t cp = decodeUtf8(utf8.substr(pos, length));
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        pos += length;
    }
    return out;
}

} // namespace cp932
