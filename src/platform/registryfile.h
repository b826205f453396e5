// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// A per-user registry kept as a text file in the format of a Windows registry export, so that
/// settings can be read, diffed and carried over from an old installation.
///
///     Windows Registry Editor Version 5.00
///
///     [HKEY_CURRENT_USER\Software\Vendor\Product]
///     "Count"=dword:0000000a
///     "Folder"="C:\\scans"
///     "Blob"=hex:01,02,03
///     "Raw"=hex(0):01,02
///
/// Reading accepts UTF-8 (with or without byte-order mark) and the UTF-16LE files that Windows
/// exports; writing produces UTF-8 with CR LF line ends, through a temporary file renamed over
/// the old one.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

enum class RegistryType : quint32 {
    None = 0, ///< untyped bytes, "hex(0):"
    Sz = 1,   ///< text, "..."
    ExpandSz = 2,
    Binary = 3, ///< bytes, "hex:"
    Dword = 4,  ///< 32-bit number, "dword:"
    MultiSz = 7,
    Qword = 11,
};

/// One named value. Text values keep their text; every other type keeps its raw bytes (a DWORD
/// as four little-endian bytes).
class RegistryValue {
public:
    static RegistryValue fromDword(quint32 value);
    static RegistryValue fromString(const QString& text);
    static RegistryValue fromBinary(const QByteArray& bytes);
    static RegistryValue fromTypedBytes(RegistryType type, const QByteArray& bytes);

    RegistryType type() const { return m_type; }
    const QString& text() const { return m_text; }
    const QByteArray& bytes() const { return m_bytes; }
    /// The number of a DWORD value (only meaningful when type() is Dword).
    quint32 dword() const;

    bool operator==(const RegistryValue&) const = default;

private:
    RegistryType m_type = RegistryType::None;
    QString m_text;
    QByteArray m_bytes;
};

class RegistryFile {
public:
    /// What a load found.
    enum class LoadStatus : quint8 {
        Loaded,     ///< the file was read
        Missing,    ///< there is no file: the registry is empty
        Unreadable, ///< the file exists but cannot be read or parsed: the registry is empty
    };

    LoadStatus load(const QString& path);
    /// Why the last load gave Unreadable, with the file name and line.
    const QString& loadError() const { return m_loadError; }

    /// Writes the whole registry to \p path atomically. On failure returns false and leaves
    /// the reason in \p error.
    bool save(const QString& path, QString* error = nullptr) const;

    /// Replaces the contents with the parsed \p bytes. On a syntax error returns false with the
    /// line in \p error and leaves the registry empty.
    bool parse(const QByteArray& bytes, QString* error = nullptr);
    QByteArray serialize() const;

    bool hasKey(const QString& key) const;
    void createKey(const QString& key);
    QStringList keys() const;

    /// The value \p name of \p key, or nullptr when the key or the value does not exist.
    const RegistryValue* value(const QString& key, const QString& name) const;
    /// Names of the values of \p key in file order.
    QStringList valueNames(const QString& key) const;
    /// Sets a value, creating the key when needed; an existing value keeps its place.
    void setValue(const QString& key, const QString& name, const RegistryValue& value);
    void removeValue(const QString& key, const QString& name);

private:
    struct NamedValue {
        QString name;
        RegistryValue value;
        bool removed = false; ///< taken out; the slot goes at the next compaction
    };
    /// The values of a key in file order, with their case-folded names indexed, so that a file
    /// of n values loads in time proportional to n. A removal leaves a slot behind and the list
    /// is compacted once the slots are as many as the values, so removals stay cheap too.
    struct Key {
        QString path;
        QList<NamedValue> values;
        QHash<QString, qsizetype> positions; ///< case-folded name -> index into values
        qsizetype removedCount = 0;

        const RegistryValue* find(const QString& name) const;
        void set(const QString& name, const RegistryValue& value);
        void remove(const QString& name);
        QStringList names() const;
    };

    Key* findKey(const QString& key);
    const Key* findKey(const QString& key) const;
    Key& keyFor(const QString& key);

    QList<Key> m_keys;
    QHash<QString, qsizetype> m_keyPositions; ///< case-folded key path -> index into m_keys
    QString m_loadError;
};
