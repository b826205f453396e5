// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/cp932qt.h"

namespace cp932 {

int qByteLength(const QString& text) {
    return static_cast<int>(byteLength(text.toStdString()));
}

QString qTruncate(const QString& text, int maxBytes) {
    if (maxBytes <= 0) {
        return {};
    }
    return QString::fromStdString(truncate(text.toStdString(), static_cast<size_t>(maxBytes)));
}

std::optional<QByteArray> qEncode(const QString& text) {
    const auto bytes = encode(text.toStdString());
    if (!bytes) {
        return std::nullopt;
    }
    return QByteArray::fromStdString(*bytes);
}

QString qDecode(const QByteArray& bytes, bool* valid) {
    return QString::fromStdString(decode(bytes.toStdString(), valid));
}

bool qRoundTrips(const QString& text) {
    const auto bytes = qEncode(text);
    return bytes && qDecode(*bytes) == text;
}

} // namespace cp932
