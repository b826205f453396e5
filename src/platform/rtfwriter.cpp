// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/rtfwriter.h"

#include <QSaveFile>

namespace rtf {

namespace {

// Code page 932 and a Japanese font as the declared defaults, so that a reader that ignores
// the \u escapes still picks a font that can show them; \uc1 says one fallback character
// ("?") follows each escape.
const QByteArray Header = "{\\rtf1\\ansi\\ansicpg932\\deff0\\uc1"
                          "{\\fonttbl{\\f0\\fmodern\\fcharset128 IPAGothic;}}\r\n"
                          "\\f0\\fs20\r\n";

} // namespace

QByteArray escape(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        switch (unit) {
        case u'\\':
            out += "\\\\";
            continue;
        case u'{':
            out += "\\{";
            continue;
        case u'}':
            out += "\\}";
            continue;
        case u'\t':
            out += "\\tab ";
            continue;
        default:
            break;
        }
        if (unit >= 0x20 && unit < 0x7f) {
            out += char(unit);
        } else if (unit < 0x20 || unit == 0x7f) {
            out += ' '; // a control character has no place in a paragraph's text
        } else {
            // RTF takes the escape's number as a signed 16-bit value.
            out += "\\u" + QByteArray::number(int(qint16(unit))) + '?';
        }
    }
    return out;
}

QByteArray document(const QStringList& paragraphs) {
    QByteArray out = Header;
    for (const QString& paragraph : paragraphs) {
        out += escape(paragraph);
        out += "\\par\r\n";
    }
    out += "}\r\n";
    return out;
}

bool writeFile(const QString& path, const QStringList& paragraphs, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    file.write(document(paragraphs));
    if (!file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

} // namespace rtf
