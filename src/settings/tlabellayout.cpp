// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/tlabellayout.h"

#include "platform/cp932qt.h"

#include <cstring>

TLabelLayout TLabelLayout::withDefaults(int left, int top) {
    TLabelLayout layout;
    layout.writeInt(LeftOffset, left);
    layout.writeInt(TopOffset, top);
    layout.m_bytes[FlagOffset] = 1;
    layout.m_bytes[CharsetOffset] = 128;
    layout.writeInt(ColorOffset, static_cast<std::int32_t>(0xFF000008u));
    const QByteArray name = *cp932::qEncode(QStringLiteral("ＭＳ Ｐゴシック"));
    layout.m_bytes[FontNameOffset] = static_cast<std::uint8_t>(name.size());
    std::memcpy(layout.m_bytes.data() + FontNameOffset + 1, name.constData(),
                static_cast<size_t>(name.size()));
    layout.writeInt(FontSizeOffset, 9);
    layout.m_bytes[FontStyleOffset] = 0;
    return layout;
}

QByteArray TLabelLayout::toByteArray() const {
    return QByteArray(reinterpret_cast<const char*>(m_bytes.data()), Size);
}

bool TLabelLayout::overwriteStart(const QByteArray& data) {
    if (data.size() > Size) {
        return false;
    }
    std::memcpy(m_bytes.data(), data.constData(), static_cast<size_t>(data.size()));
    return true;
}

QString TLabelLayout::fontName() const {
    const int length = std::min<int>(m_bytes[FontNameOffset], FontNameCapacity);
    return cp932::qDecode(
        QByteArray(reinterpret_cast<const char*>(m_bytes.data()) + FontNameOffset + 1, length));
}

int TLabelLayout::readInt(int offset) const {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | m_bytes[static_cast<size_t>(offset + i)];
    }
    return static_cast<int>(value);
}

void TLabelLayout::writeInt(int offset, std::int32_t value) {
    auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        m_bytes[static_cast<size_t>(offset + i)] = static_cast<std::uint8_t>(bits & 0xFF);
        bits >>= 8;
    }
}
