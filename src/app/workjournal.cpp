// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/workjournal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace workjournal {

namespace {

const QByteArray magicLine = QByteArrayLiteral("pelorafile work journal\n");
const QByteArray versionPrefix = QByteArrayLiteral("version ");
const QByteArray checksumPrefix = QByteArrayLiteral("sha256 ");
constexpr qsizetype checksumLength = 64;

QByteArray checksumOf(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// 64-bit numbers go as decimal strings: JSON numbers are doubles, which round nanosecond times.
QString number(quint64 value) {
    return QString::number(value);
}

std::optional<quint64> unsignedField(const QJsonObject& object, const QString& name) {
    bool ok = false;
    const quint64 value = object.value(name).toString().toULongLong(&ok);
    return ok ? std::optional<quint64>(value) : std::nullopt;
}

std::optional<qint64> signedField(const QJsonObject& object, const QString& name) {
    bool ok = false;
    const qint64 value = object.value(name).toString().toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

QJsonObject pageObject(const Page& page) {
    QJsonObject object{{QStringLiteral("file"), page.imageFile},
                       {QStringLiteral("shiori"), page.shiori}};
    if (page.identity) {
        object.insert(QStringLiteral("identity"),
                      QJsonObject{{QStringLiteral("device"), number(page.identity->device)},
                                  {QStringLiteral("inode"), number(page.identity->inode)},
                                  {QStringLiteral("size"), QString::number(page.identity->size)},
                                  {QStringLiteral("modifiedNs"),
                                   QString::number(page.identity->modifiedNs)}});
    }
    if (page.note) {
        object.insert(QStringLiteral("note"), QJsonArray::fromStringList(*page.note));
    }
    return object;
}

std::optional<QStringList> stringList(const QJsonValue& value) {
    if (!value.isArray()) {
        return std::nullopt;
    }
    QStringList list;
    for (const QJsonValue& item : value.toArray()) {
        if (!item.isString()) {
            return std::nullopt;
        }
        list << item.toString();
    }
    return list;
}

/// The page of \p value, or nothing when a field is missing or of the wrong kind.
std::optional<Page> pageFrom(const QJsonValue& value) {
    const QJsonObject object = value.toObject();
    if (!value.isObject() || !object.value(QStringLiteral("file")).isString() ||
        !object.value(QStringLiteral("shiori")).isString()) {
        return std::nullopt;
    }
    Page page;
    page.imageFile = object.value(QStringLiteral("file")).toString();
    page.shiori = object.value(QStringLiteral("shiori")).toString();
    if (object.contains(QStringLiteral("identity"))) {
        const QJsonObject identity = object.value(QStringLiteral("identity")).toObject();
        const auto device = unsignedField(identity, QStringLiteral("device"));
        const auto inode = unsignedField(identity, QStringLiteral("inode"));
        const auto size = signedField(identity, QStringLiteral("size"));
        const auto modified = signedField(identity, QStringLiteral("modifiedNs"));
        if (!device || !inode || !size || !modified) {
            return std::nullopt;
        }
        page.identity = scannerfolder::FileIdentity{*device, *inode, *size, *modified};
    }
    if (object.contains(QStringLiteral("note"))) {
        page.note = stringList(object.value(QStringLiteral("note")));
        if (!page.note) {
            return std::nullopt;
        }
    }
    return page;
}

Parsed refused(QString error, int version = 0) {
    Parsed parsed;
    parsed.error = std::move(error);
    parsed.version = version;
    return parsed;
}

} // namespace

QByteArray serialize(const Work& work, const QDateTime& written) {
    QJsonArray pages;
    for (const Page& page : work.pages) {
        pages.append(pageObject(page));
    }
    QJsonArray keywords;
    for (const QString& keyword : work.keywords) {
        keywords.append(keyword);
    }
    const QJsonObject body{
        {QStringLiteral("scannerFolder"), work.scannerFolder},
        {QStringLiteral("written"), written.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("patient"), work.patientText},
        {QStringLiteral("serial"), work.serialText},
        {QStringLiteral("keywords"), keywords},
        {QStringLiteral("pages"), pages},
    };
    QByteArray bytes = magicLine;
    bytes += versionPrefix + QByteArray::number(FormatVersion) + '\n';
    bytes += QJsonDocument(body).toJson(QJsonDocument::Compact) + '\n';
    bytes += checksumPrefix + checksumOf(bytes) + '\n';
    return bytes;
}

Parsed parse(const QByteArray& bytes) {
    if (!bytes.startsWith(magicLine)) {
        return refused(QStringLiteral("作業記録ではありません（先頭の行が違います）"));
    }
    const qsizetype versionEnd = bytes.indexOf('\n', magicLine.size());
    const QByteArray versionLine = bytes.mid(magicLine.size(), versionEnd - magicLine.size());
    if (versionEnd < 0 || !versionLine.startsWith(versionPrefix)) {
        return refused(QStringLiteral("作業記録が途中で切れています（版の行がありません）"));
    }
    bool numeric = false;
    const int version = versionLine.mid(versionPrefix.size()).toInt(&numeric);
    if (!numeric) {
        return refused(QStringLiteral("作業記録の版が読めません"));
    }
    if (version != FormatVersion) {
        return refused(version < FormatVersion
                           ? QStringLiteral("古い版 (%1) の作業記録です。この版は %2 を読みます")
                                 .arg(version)
                                 .arg(FormatVersion)
                           : QStringLiteral("新しい版 (%1) の作業記録です。この版は %2 を読みます")
                                 .arg(version)
                                 .arg(FormatVersion),
                       version);
    }
    // The checksum line closes the file: a file cut anywhere lacks it or its last byte.
    const qsizetype checksumStart = bytes.lastIndexOf("\n" + checksumPrefix) + 1;
    const qsizetype expectedSize = checksumStart + checksumPrefix.size() + checksumLength + 1;
    if (checksumStart <= versionEnd || bytes.size() != expectedSize || !bytes.endsWith('\n')) {
        return refused(QStringLiteral("作業記録が途中で切れています"), version);
    }
    const QByteArray stored = bytes.mid(checksumStart + checksumPrefix.size(), checksumLength);
    if (stored != checksumOf(bytes.left(checksumStart))) {
        return refused(QStringLiteral("作業記録が壊れています（チェックサムが合いません）"),
                       version);
    }
    QJsonParseError jsonError{};
    const QJsonDocument document = QJsonDocument::fromJson(
        bytes.mid(versionEnd + 1, checksumStart - versionEnd - 2), &jsonError);
    const QJsonObject body = document.object();
    const auto keywords = stringList(body.value(QStringLiteral("keywords")));
    if (jsonError.error != QJsonParseError::NoError || !document.isObject() || !keywords ||
        keywords->size() != 4 || !body.value(QStringLiteral("pages")).isArray()) {
        return refused(QStringLiteral("作業記録の内容が読めません"), version);
    }
    Parsed parsed;
    parsed.version = version;
    Work work;
    work.scannerFolder = body.value(QStringLiteral("scannerFolder")).toString();
    work.patientText = body.value(QStringLiteral("patient")).toString();
    work.serialText = body.value(QStringLiteral("serial")).toString();
    for (size_t i = 0; i < work.keywords.size(); ++i) {
        work.keywords[i] = keywords->at(static_cast<qsizetype>(i));
    }
    for (const QJsonValue& value : body.value(QStringLiteral("pages")).toArray()) {
        auto page = pageFrom(value);
        if (!page) {
            return refused(QStringLiteral("作業記録のページが読めません"), version);
        }
        work.pages.push_back(std::move(*page));
    }
    parsed.written =
        QDateTime::fromString(body.value(QStringLiteral("written")).toString(), Qt::ISODateWithMs);
    parsed.work = std::move(work);
    return parsed;
}

Parsed read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return refused(QStringLiteral("%1: %2").arg(path, file.errorString()));
    }
    return parse(file.readAll());
}

QString defaultFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state)) {
        state = QDir::home().filePath(QStringLiteral(".local/state"));
    }
    return QDir(state).filePath(QStringLiteral("pelorafile"));
}

QString journalPath(const QString& stateFolder, const QString& scannerFolder) {
    // The resolved path, so that two spellings of one folder (a link, a trailing separator)
    // share one journal and one lock.
    const QFileInfo info(scannerFolder);
    QString key = info.canonicalFilePath();
    if (key.isEmpty()) {
        key = QDir::cleanPath(info.absoluteFilePath());
    }
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(key), QCryptographicHash::Sha256).toHex();
    return QDir(stateFolder)
        .filePath(QStringLiteral("work-%1.journal").arg(QString::fromLatin1(hash.left(24))));
}

QString lockPath(const QString& journalPath) {
    return journalPath + QStringLiteral(".lock");
}

QString asidePath(const QString& journalPath) {
    return journalPath + QStringLiteral(".old");
}

QString temporaryPath(const QString& journalPath) {
    return journalPath + QStringLiteral(".tmp");
}

bool moveAside(const QString& path, QString* error) {
    // rename(2) replaces the previous generation in one step; QFile::rename would refuse.
    if (std::rename(QFile::encodeName(path).constData(),
                    QFile::encodeName(asidePath(path)).constData()) != 0) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        }
        return false;
    }
    return true;
}

PageState pageState(const Page& page) {
    const auto now = scannerfolder::identify(page.imageFile);
    if (!now) {
        return QFileInfo::exists(page.imageFile) ? PageState::Replaced : PageState::Gone;
    }
    return page.identity && *now == *page.identity ? PageState::Present : PageState::Replaced;
}

} // namespace workjournal
