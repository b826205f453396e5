// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/programfolder.h"

#include "index/chartindexschema.h"
#include "index/indexlocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringConverter>
#include <QStringList>

namespace programfolder {

namespace {

const QString FolderKey = QStringLiteral("program-folder");

QString absolute(const QString& folder) {
    return QDir::cleanPath(QDir(folder).absolutePath());
}

} // namespace

Places placesOf(const QString& option) {
    Places places;
    places.option = option;
    places.environment = qEnvironmentVariable(environmentVariable);
    places.clinicFile = qEnvironmentVariable(clinicFileVariable, clinicFilePath);
    places.executableFolder = QCoreApplication::applicationDirPath();
    places.installed =
        QFileInfo(QDir(places.executableFolder).filePath(QStringLiteral("../share/pelorafile")))
            .isDir();
    places.userDataFolder =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
            .filePath(QStringLiteral("pelorafile"));
    return places;
}

std::optional<QString> parseClinicFile(const QString& text, const QString& source, QString* error) {
    QString ignored;
    QString& why = error ? *error : ignored;
    QString folder;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = lines.at(n).trimmed();
        const QString where = QStringLiteral("%1, line %2").arg(source).arg(n + 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';'))) {
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            why = QStringLiteral("%1: expected %2=FOLDER").arg(where, FolderKey);
            return std::nullopt;
        }
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key != FolderKey) {
            why = QStringLiteral("%1: unknown key %2; the file has one key, %3")
                      .arg(where, key, FolderKey);
            return std::nullopt;
        }
        if (!folder.isEmpty()) {
            why = QStringLiteral("%1: the key %2 appears twice").arg(where, FolderKey);
            return std::nullopt;
        }
        if (value.isEmpty()) {
            why = QStringLiteral("%1: the key %2 has no value").arg(where, FolderKey);
            return std::nullopt;
        }
        if (!QDir::isAbsolutePath(value)) {
            why = QStringLiteral("%1: the folder %2 is not an absolute path").arg(where, value);
            return std::nullopt;
        }
        folder = QDir::cleanPath(value);
    }
    return folder;
}

bool holdsIndex(const QString& folder) {
    const QDir dir(folder);
    return QFileInfo::exists(dir.filePath(chartindex::fileName)) ||
           QFileInfo::exists(dir.filePath(chartindex::confFileName));
}

std::optional<ProgramFolder> find(const Places& places, QString* error) {
    if (!places.option.isEmpty()) {
        return ProgramFolder{absolute(places.option), Source::Option};
    }
    if (!places.environment.isEmpty()) {
        return ProgramFolder{absolute(places.environment), Source::Environment};
    }
    if (QFileInfo::exists(places.clinicFile)) {
        QFile file(places.clinicFile);
        if (!file.open(QIODevice::ReadOnly)) {
            if (error) {
                *error = QStringLiteral("%1: cannot be read: %2")
                             .arg(places.clinicFile, file.errorString());
            }
            return std::nullopt;
        }
        auto decode = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decode(file.readAll());
        if (decode.hasError()) {
            if (error) {
                *error = QStringLiteral("%1: the file is not UTF-8 text").arg(places.clinicFile);
            }
            return std::nullopt;
        }
        const auto named = parseClinicFile(text, places.clinicFile, error);
        if (!named) {
            return std::nullopt;
        }
        if (!named->isEmpty()) {
            return ProgramFolder{*named, Source::ClinicFile};
        }
    }
    if (holdsIndex(places.executableFolder) || !places.installed) {
        return ProgramFolder{absolute(places.executableFolder), Source::ExecutableFolder};
    }
    return ProgramFolder{absolute(places.userDataFolder), Source::UserDataFolder};
}

bool prepareFirstStart(const ProgramFolder& folder, QString* error) {
    if (folder.source != Source::UserDataFolder || holdsIndex(folder.path)) {
        return true;
    }
    if (!QDir().mkpath(folder.path)) {
        if (error) {
            *error = QStringLiteral("%1: the folder cannot be made").arg(folder.path);
        }
        return false;
    }
    return chartindex::createEmptyIndex(QDir(folder.path).filePath(chartindex::fileName), error);
}

} // namespace programfolder
