// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registryfile.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QtEndian>

namespace {

const QString headerV5 = QStringLiteral("Windows Registry Editor Version 5.00");
const QString headerV4 = QStringLiteral("REGEDIT4");

/// Hex byte lists are wrapped like a Windows export so that long records stay readable.
constexpr int hexBytesPerLine = 25;

QString decodeFileText(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE")) {
        QString text;
        text.reserve((bytes.size() - 2) / 2);
        for (qsizetype i = 2; i + 1 < bytes.size(); i += 2) {
            text.append(QChar(qFromLittleEndian<quint16>(bytes.constData() + i)));
        }
        return text;
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(bytes.mid(3));
    }
    return QString::fromUtf8(bytes);
}

/// Reads a quoted string starting at text[pos] == '"'; returns the index after the closing
/// quote, or -1 when the string is not closed.
qsizetype readQuoted(const QString& text, qsizetype pos, QString& out) {
    out.clear();
    for (qsizetype i = pos + 1; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\') {
            if (i + 1 >= text.size()) {
                return -1;
            }
            out.append(text.at(++i));
        } else if (c == u'"') {
            return i + 1;
        } else {
            out.append(c);
        }
    }
    return -1;
}

QString quoted(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"') {
            out.append(u'\\');
        }
        out.append(c);
    }
    out.append(u'"');
    return out;
}

bool parseHexBytes(QStringView list, QByteArray& out) {
    out.clear();
    const QString compact = list.toString().remove(u' ').remove(u'\t');
    if (compact.isEmpty()) {
        return true;
    }
    const auto parts = compact.split(u',');
    for (const auto& part : parts) {
        bool ok = false;
        const uint byte = part.toUInt(&ok, 16);
        if (!ok || part.size() > 2 || byte > 0xFF) {
            return false;
        }
        out.append(static_cast<char>(byte));
    }
    return true;
}

QString hexList(const QString& prefix, const QByteArray& bytes) {
    QString out = prefix;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += QStringLiteral("%1").arg(static_cast<uchar>(bytes.at(i)), 2, 16, QLatin1Char('0'));
        if (i + 1 < bytes.size()) {
            out += u',';
            if ((i + 1) % hexBytesPerLine == 0) {
                out += QStringLiteral("\\\r\n  ");
            }
        }
    }
    return out;
}

/// REG_SZ text in its "hex(1):" form: UTF-16LE with the terminating zero.
QByteArray utf16leWithTerminator(const QString& text) {
    QByteArray bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    bytes.append(2, '\0');
    return bytes;
}

/// The text of a hex(1): list: its units up to the terminating zero units at the end. A zero
/// unit inside the text is part of it (a text saved with U+0000 in it comes back whole).
QString textFromUtf16le(const QByteArray& bytes) {
    QString text;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        text.append(QChar(qFromLittleEndian<quint16>(bytes.constData() + i)));
    }
    while (text.endsWith(QChar(0))) {
        text.chop(1);
    }
    return text;
}

bool needsHexForm(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20) {
            return true;
        }
    }
    return false;
}

} // namespace

RegistryValue RegistryValue::fromDword(quint32 value) {
    RegistryValue v;
    v.m_type = RegistryType::Dword;
    v.m_bytes.resize(4);
    qToLittleEndian(value, v.m_bytes.data());
    return v;
}

RegistryValue RegistryValue::fromString(const QString& text) {
    RegistryValue v;
    v.m_type = RegistryType::Sz;
    v.m_text = text;
    return v;
}

RegistryValue RegistryValue::fromBinary(const QByteArray& bytes) {
    return fromTypedBytes(RegistryType::Binary, bytes);
}

RegistryValue RegistryValue::fromTypedBytes(RegistryType type, const QByteArray& bytes) {
    if (type == RegistryType::Sz) {
        return fromString(textFromUtf16le(bytes));
    }
    RegistryValue v;
    v.m_type = type;
    v.m_bytes = bytes;
    return v;
}

quint32 RegistryValue::dword() const {
    if (m_bytes.size() < 4) {
        return 0;
    }
    return qFromLittleEndian<quint32>(m_bytes.constData());
}

RegistryFile::LoadStatus RegistryFile::load(const QString& path) {
    m_keys.clear();
    m_keyPositions.clear();
    m_loadError.clear();
    QFile file(path);
    if (!file.exists()) {
        return LoadStatus::Missing;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_loadError = QStringLiteral("%1: %2").arg(path, file.errorString());
        return LoadStatus::Unreadable;
    }
    QString error;
    if (!parse(file.readAll(), &error)) {
        m_loadError = QStringLiteral("%1: %2").arg(path, error);
        return LoadStatus::Unreadable;
    }
    return LoadStatus::Loaded;
}

bool RegistryFile::parse(const QByteArray& bytes, QString* error) {
    m_keys.clear();
    m_keyPositions.clear();
    const QString text = decodeFileText(bytes);
    QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));

    auto fail = [&](int lineNumber, const QString& why) {
        m_keys.clear();
        m_keyPositions.clear();
        if (error) {
            *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(why);
        }
        return false;
    };

    int lineNumber = 0;
    bool headerSeen = false;
    Key* current = nullptr;
    bool skippingDeletedKey = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        ++lineNumber;
        const int firstLine = lineNumber;
        QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(u';')) {
            continue;
        }
        if (!headerSeen) {
            if (line != headerV5 && line != headerV4) {
                return fail(firstLine, QStringLiteral("not a registry file (missing header)"));
            }
            headerSeen = true;
            continue;
        }
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']')) {
                return fail(firstLine, QStringLiteral("unterminated key name"));
            }
            const QString path = line.mid(1, line.size() - 2);
            skippingDeletedKey = path.startsWith(u'-');
            // Only a new key adds to the list, so the key stays where it is until the next one.
            current = skippingDeletedKey ? nullptr : &keyFor(path);
            continue;
        }
        if (skippingDeletedKey) {
            continue;
        }
        if (!current) {
            return fail(firstLine, QStringLiteral("value outside of a key"));
        }

        QString name;
        qsizetype pos = 0;
        if (line.startsWith(u'@')) {
            pos = 1;
        } else if (line.startsWith(u'"')) {
            pos = readQuoted(line, 0, name);
            if (pos < 0) {
                return fail(firstLine, QStringLiteral("unterminated value name"));
            }
        } else {
            return fail(firstLine, QStringLiteral("unexpected text"));
        }
        while (pos < line.size() && line.at(pos).isSpace()) {
            ++pos;
        }
        if (pos >= line.size() || line.at(pos) != u'=') {
            return fail(firstLine, QStringLiteral("missing '=' after value name"));
        }
        QString data = line.mid(pos + 1).trimmed();

        if (data.startsWith(u'"')) {
            QString textValue;
            const qsizetype end = readQuoted(data, 0, textValue);
            if (end < 0 || !data.mid(end).trimmed().isEmpty()) {
                return fail(firstLine, QStringLiteral("malformed text value \"%1\"").arg(name));
            }
            current->set(name, RegistryValue::fromString(textValue));
        } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            const QString digits = data.mid(6).trimmed();
            bool ok = false;
            const quint32 number = digits.toUInt(&ok, 16);
            if (!ok || digits.isEmpty() || digits.size() > 8) {
                return fail(firstLine, QStringLiteral("malformed dword value \"%1\"").arg(name));
            }
            current->set(name, RegistryValue::fromDword(number));
        } else if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            // Long byte lists continue on following lines after a trailing backslash.
            while (data.endsWith(u'\\')) {
                data.chop(1);
                if (i + 1 >= lines.size()) {
                    return fail(firstLine,
                                QStringLiteral("byte list of \"%1\" is cut off").arg(name));
                }
                data += lines.at(++i).trimmed();
                ++lineNumber;
            }
            const qsizetype colon = data.indexOf(u':');
            if (colon < 0) {
                return fail(firstLine, QStringLiteral("malformed hex value \"%1\"").arg(name));
            }
            const QString kind = data.left(colon).toLower();
            RegistryType type = RegistryType::Binary;
            if (kind != QLatin1String("hex")) {
                static const QRegularExpression typed(QStringLiteral("^hex\\(([0-9a-f]{1,8})\\)$"));
                const auto match = typed.match(kind);
                if (!match.hasMatch()) {
                    return fail(firstLine, QStringLiteral("unknown value type \"%1\"").arg(kind));
                }
                type = static_cast<RegistryType>(match.captured(1).toUInt(nullptr, 16));
            }
            QByteArray bytes;
            if (!parseHexBytes(QStringView(data).mid(colon + 1), bytes)) {
                return fail(firstLine, QStringLiteral("malformed byte list of \"%1\"").arg(name));
            }
            current->set(name, RegistryValue::fromTypedBytes(type, bytes));
        } else if (data == QLatin1String("-")) {
            current->remove(name);
        } else {
            return fail(firstLine, QStringLiteral("unknown value form of \"%1\"").arg(name));
        }
    }
    if (!headerSeen) {
        return fail(lineNumber, QStringLiteral("not a registry file (missing header)"));
    }
    return true;
}

QByteArray RegistryFile::serialize() const {
    QString out = headerV5 + QStringLiteral("\r\n");
    for (const auto& key : m_keys) {
        out += QStringLiteral("\r\n[%1]\r\n").arg(key.path);
        for (const auto& [name, value, removed] : key.values) {
            if (removed) {
                continue;
            }
            out += name.isEmpty() ? QStringLiteral("@") : quoted(name);
            out += u'=';
            switch (value.type()) {
            case RegistryType::Sz:
                if (needsHexForm(value.text())) {
                    out += hexList(QStringLiteral("hex(1):"), utf16leWithTerminator(value.text()));
                } else {
                    out += quoted(value.text());
                }
                break;
            case RegistryType::Dword:
                if (value.bytes().size() == 4) {
                    out += QStringLiteral("dword:%1").arg(value.dword(), 8, 16, QLatin1Char('0'));
                } else {
                    // A DWORD read from a hex(4): list of another length keeps its bytes.
                    out += hexList(QStringLiteral("hex(4):"), value.bytes());
                }
                break;
            case RegistryType::Binary:
                out += hexList(QStringLiteral("hex:"), value.bytes());
                break;
            default:
                out += hexList(
                    QStringLiteral("hex(%1):").arg(static_cast<quint32>(value.type()), 0, 16),
                    value.bytes());
                break;
            }
            out += QStringLiteral("\r\n");
        }
    }
    return out.toUtf8();
}

bool RegistryFile::save(const QString& path, QString* error) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        }
        return false;
    }
    file.write(serialize());
    if (!file.commit()) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        }
        return false;
    }
    return true;
}

const RegistryValue* RegistryFile::Key::find(const QString& name) const {
    const auto at = positions.constFind(name.toCaseFolded());
    return at == positions.cend() ? nullptr : &values.at(*at).value;
}

void RegistryFile::Key::set(const QString& name, const RegistryValue& value) {
    const QString folded = name.toCaseFolded();
    if (const auto at = positions.constFind(folded); at != positions.cend()) {
        values[*at].value = value; // an existing value keeps its place
        return;
    }
    positions.insert(folded, values.size());
    values.append(NamedValue{name, value});
}

void RegistryFile::Key::remove(const QString& name) {
    const auto at = positions.constFind(name.toCaseFolded());
    if (at == positions.cend()) {
        return;
    }
    NamedValue& slot = values[*at];
    slot.removed = true;
    slot.value = RegistryValue();
    positions.erase(at);
    if (++removedCount < values.size() / 2) {
        return;
    }
    values.removeIf([](const NamedValue& v) { return v.removed; });
    removedCount = 0;
    positions.clear();
    for (qsizetype i = 0; i < values.size(); ++i) {
        positions.insert(values.at(i).name.toCaseFolded(), i);
    }
}

QStringList RegistryFile::Key::names() const {
    QStringList out;
    out.reserve(values.size() - removedCount);
    for (const auto& v : values) {
        if (!v.removed) {
            out.append(v.name);
        }
    }
    return out;
}

RegistryFile::Key* RegistryFile::findKey(const QString& key) {
    const auto at = m_keyPositions.constFind(key.toCaseFolded());
    return at == m_keyPositions.cend() ? nullptr : &m_keys[*at];
}

const RegistryFile::Key* RegistryFile::findKey(const QString& key) const {
    const auto at = m_keyPositions.constFind(key.toCaseFolded());
    return at == m_keyPositions.cend() ? nullptr : &m_keys.at(*at);
}

RegistryFile::Key& RegistryFile::keyFor(const QString& key) {
    if (Key* existing = findKey(key)) {
        return *existing;
    }
    m_keyPositions.insert(key.toCaseFolded(), m_keys.size());
    m_keys.append(Key{key, {}, {}, 0});
    return m_keys.last();
}

bool RegistryFile::hasKey(const QString& key) const {
    return findKey(key) != nullptr;
}

void RegistryFile::createKey(const QString& key) {
    keyFor(key);
}

QStringList RegistryFile::keys() const {
    QStringList out;
    for (const auto& k : m_keys) {
        out.append(k.path);
    }
    return out;
}

const RegistryValue* RegistryFile::value(const QString& key, const QString& name) const {
    const Key* k = findKey(key);
    return k ? k->find(name) : nullptr;
}

QStringList RegistryFile::valueNames(const QString& key) const {
    const Key* k = findKey(key);
    return k ? k->names() : QStringList();
}

void RegistryFile::setValue(const QString& key, const QString& name, const RegistryValue& value) {
    keyFor(key).set(name, value);
}

void RegistryFile::removeValue(const QString& key, const QString& name) {
    if (Key* k = findKey(key)) {
        k->remove(name);
    }
}
