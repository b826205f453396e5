// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/indexlocation.h"

#include "index/chartindexschema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringConverter>
#include <QStringList>

namespace chartindex {

namespace {

const QString SectionName = QStringLiteral("index");
const QString DriverName = QStringLiteral("postgresql");
const QStringList RequiredKeys{QStringLiteral("driver"), QStringLiteral("host"),
                               QStringLiteral("port"), QStringLiteral("database"),
                               QStringLiteral("user")};
/// How long, in seconds, one statement may wait for the server before it is abandoned.
const QString StatementTimeoutKey = QStringLiteral("statement_timeout");

} // namespace

QString ServerAddress::describe() const {
    return QStringLiteral("database %1 on %2:%3 as %4").arg(database, host).arg(port).arg(user);
}

std::optional<ServerAddress> parseConf(const QString& text, const QString& source, QString* error) {
    QString ignored;
    QString& why = error ? *error : ignored;
    QHash<QString, QString> values;
    bool inSection = false;
    bool sawSection = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines.at(n).trimmed();
        const QString where = QStringLiteral("%1, line %2").arg(source).arg(n + 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) {
                why = QStringLiteral("%1: a section header must end with ]").arg(where);
                return std::nullopt;
            }
            const QString section = line.mid(1, line.size() - 2).trimmed();
            if (section != SectionName) {
                why = QStringLiteral("%1: unknown section [%2]; the file has one section [%3]")
                          .arg(where, section, SectionName);
                return std::nullopt;
            }
            if (sawSection) {
                why = QStringLiteral("%1: the section [%2] appears twice").arg(where, SectionName);
                return std::nullopt;
            }
            inSection = sawSection = true;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            why = QStringLiteral("%1: expected key=value").arg(where);
            return std::nullopt;
        }
        if (!inSection) {
            why = QStringLiteral("%1: key outside the section [%2]").arg(where, SectionName);
            return std::nullopt;
        }
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == u"password") {
            why = QStringLiteral("%1: the password does not belong in this file; put it in the "
                                 "PostgreSQL password file (~/.pgpass) or PGPASSWORD")
                      .arg(where);
            return std::nullopt;
        }
        if (!RequiredKeys.contains(key) && key != StatementTimeoutKey) {
            why = QStringLiteral("%1: unknown key %2").arg(where, key);
            return std::nullopt;
        }
        if (values.contains(key)) {
            why = QStringLiteral("%1: the key %2 appears twice").arg(where, key);
            return std::nullopt;
        }
        if (value.isEmpty()) {
            why = QStringLiteral("%1: the key %2 has no value").arg(where, key);
            return std::nullopt;
        }
        values.insert(key, value);
    }
    if (!sawSection) {
        why = QStringLiteral("%1: there is no section [%2]").arg(source, SectionName);
        return std::nullopt;
    }
    for (const QString& key : RequiredKeys) {
        if (!values.contains(key)) {
            why = QStringLiteral("%1: the key %2 is missing").arg(source, key);
            return std::nullopt;
        }
    }
    if (values.value(QStringLiteral("driver")).toLower() != DriverName) {
        why = QStringLiteral("%1: unsupported driver %2; the only server driver is %3")
                  .arg(source, values.value(QStringLiteral("driver")), DriverName);
        return std::nullopt;
    }
    bool isNumber = false;
    const int port = values.value(QStringLiteral("port")).toInt(&isNumber);
    if (!isNumber || port < 1 || port > 65535) {
        why = QStringLiteral("%1: the port %2 is not a number from 1 to 65535")
                  .arg(source, values.value(QStringLiteral("port")));
        return std::nullopt;
    }
    ServerAddress address{values.value(QStringLiteral("host")), port,
                          values.value(QStringLiteral("database")),
                          values.value(QStringLiteral("user"))};
    if (values.contains(StatementTimeoutKey)) {
        const int seconds = values.value(StatementTimeoutKey).toInt(&isNumber);
        if (!isNumber || seconds < 1 || seconds > 3600) {
            why = QStringLiteral("%1: %2 must be a number of seconds from 1 to 3600")
                      .arg(source, StatementTimeoutKey);
            return std::nullopt;
        }
        address.statementTimeoutSeconds = seconds;
    }
    return address;
}

std::optional<IndexLocation> locateIndex(const QString& programFolder, QString* error) {
    const QDir folder(programFolder);
    const QString confPath = folder.absoluteFilePath(confFileName);
    if (!QFileInfo::exists(confPath)) {
        return IndexLocation{folder.absoluteFilePath(fileName), std::nullopt};
    }
    QFile conf(confPath);
    if (!conf.open(QIODevice::ReadOnly)) {
        if (error) {
            *error = QStringLiteral("%1: cannot be read: %2").arg(confPath, conf.errorString());
        }
        return std::nullopt;
    }
    const QByteArray bytes = conf.readAll();
    auto decode = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(bytes);
    if (decode.hasError()) {
        if (error) {
            *error = QStringLiteral("%1: the file is not UTF-8 text").arg(confPath);
        }
        return std::nullopt;
    }
    auto server = parseConf(text, confPath, error);
    if (!server) {
        return std::nullopt;
    }
    return IndexLocation{QString(), std::move(server)};
}

} // namespace chartindex
