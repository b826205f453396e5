// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/listfile.h"

#include "platform/cp932qt.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace listfile {
namespace {

const QByteArray utf8Bom("\xEF\xBB\xBF");

QString decodeText(const QByteArray& bytes) {
    if (bytes.startsWith(utf8Bom)) {
        // Only the one mark is taken off: a first item that itself begins with U+FEFF keeps it
        // (QString::fromUtf8 would drop a second mark too).
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
        return utf8(bytes.mid(utf8Bom.size()));
    }
    // CP932 first: short CP932 text is often valid UTF-8 as well (the half-width "ﾊｲ", CA B2,
    // reads as U+02B2), and taking it for UTF-8 would rewrite the list as nonsense at exit.
    // UTF-8 without a byte-order mark is only taken when the bytes cannot be CP932.
    bool validCp932 = false;
    QString asCp932 = cp932::qDecode(bytes, &validCp932);
    if (validCp932) {
        return asCp932;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString asUtf8 = utf8.decode(bytes);
    return utf8.hasError() ? asCp932 : asUtf8;
}

} // namespace

QStringList parse(const QByteArray& bytes) {
    const QString text = decodeText(bytes);
    QStringList items;
    QString current;
    bool open = false; // whether a line has started that has not been ended yet
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            items.append(current);
            current.clear();
            open = false;
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
                ++i;
            }
        } else {
            current.append(c);
            open = true;
        }
    }
    if (open) {
        items.append(current);
    }
    return items;
}

QByteArray serialize(const QStringList& items) {
    QString text;
    for (const auto& item : items) {
        text += item;
        text += QStringLiteral("\r\n");
    }
    if (cp932::qRoundTrips(text)) {
        return *cp932::qEncode(text);
    }
    return utf8Bom + text.toUtf8();
}

bool read(const QString& path, QStringList& items) {
    items.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    items = parse(file.readAll());
    return true;
}

bool write(const QString& path, const QStringList& items, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        }
        return false;
    }
    file.write(serialize(items));
    if (!file.commit()) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        }
        return false;
    }
    return true;
}

} // namespace listfile
