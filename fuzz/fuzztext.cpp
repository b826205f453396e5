// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzztext.h"

#include "platform/listfile.h"
#include "platform/registryfile.h"

#include <QByteArray>
#include <QStringList>

namespace fuzzing {

namespace {

// The parsers get the fuzzer's buffer itself, not a copy, so that a read past its end is caught
// by the address sanitizer instead of landing in a copy's spare capacity.
QByteArray unownedBytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                   static_cast<qsizetype>(size));
}

QString describe(const RegistryValue& value) {
    const auto type = static_cast<quint32>(value.type());
    if (value.type() == RegistryType::Sz) {
        return QStringLiteral("text of %1 characters").arg(value.text().size());
    }
    return QStringLiteral("type %1 with %2 bytes (%3)")
        .arg(type)
        .arg(value.bytes().size())
        .arg(QString::fromLatin1(value.bytes().left(16).toHex(' ')));
}

/// The first difference between the entries of \p before and \p after, or an empty string.
QString firstDifference(const RegistryFile& before, const RegistryFile& after) {
    if (before.keys() != after.keys()) {
        return QStringLiteral("keys [%1] became [%2]")
            .arg(before.keys().join(u'|'), after.keys().join(u'|'));
    }
    for (const QString& key : before.keys()) {
        const QStringList names = before.valueNames(key);
        if (names != after.valueNames(key)) {
            return QStringLiteral("value names of [%1] changed").arg(key);
        }
        for (const QString& name : names) {
            const RegistryValue* was = before.value(key, name);
            const RegistryValue* is = after.value(key, name);
            if (!was || !is) {
                return QStringLiteral("[%1] \"%2\" cannot be looked up by its own name")
                    .arg(key, name);
            }
            if (*was != *is) {
                return QStringLiteral("[%1] \"%2\": %3 became %4")
                    .arg(key, name, describe(*was), describe(*is));
            }
        }
    }
    return {};
}

QString checkRejection(const RegistryFile& registry, const QString& error) {
    if (!registry.keys().isEmpty()) {
        return QStringLiteral("a rejected file left %1 keys").arg(registry.keys().size());
    }
    if (!error.startsWith(QLatin1String("line "))) {
        return QStringLiteral("a rejection does not name its line: \"%1\"").arg(error);
    }
    return {};
}

} // namespace

QString checkRegistryFile(const std::uint8_t* data, std::size_t size) {
    RegistryFile parsed;
    QString error;
    if (!parsed.parse(unownedBytes(data, size), &error)) {
        return checkRejection(parsed, error);
    }
    const QByteArray saved = parsed.serialize();
    RegistryFile reloaded;
    if (!reloaded.parse(saved, &error)) {
        return QStringLiteral("what was saved does not load: %1").arg(error);
    }
    const QString difference = firstDifference(parsed, reloaded);
    if (!difference.isEmpty()) {
        return QStringLiteral("loading what was saved changed it: %1").arg(difference);
    }
    if (reloaded.serialize() != saved) {
        return QStringLiteral("saving what was loaded from a saved file gives other bytes");
    }
    return {};
}

QString checkListFile(const std::uint8_t* data, std::size_t size) {
    const QStringList items = listfile::parse(unownedBytes(data, size));
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (items.at(i).contains(u'\r') || items.at(i).contains(u'\n')) {
            return QStringLiteral("item %1 holds a line break").arg(i);
        }
    }
    const QByteArray saved = listfile::serialize(items);
    const QStringList reread = listfile::parse(saved);
    if (reread.size() != items.size()) {
        return QStringLiteral("%1 items saved, %2 read back").arg(items.size()).arg(reread.size());
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (reread.at(i) != items.at(i)) {
            return QStringLiteral("item %1 \"%2\" was saved as %3 and read back as \"%4\"")
                .arg(i)
                .arg(items.at(i), QString::fromLatin1(saved.left(32).toHex(' ')), reread.at(i));
        }
    }
    return {};
}

} // namespace fuzzing
