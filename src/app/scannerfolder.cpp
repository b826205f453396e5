#include "app/scannerfolder.h"

#include "app/messages.h"
#include "platform/exclusiverename.h"
#include "platform/fileattributes.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUuid>
#include <algorithm>
#include <dirent.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace scannerfolder {

QString BuildTypeFilter(const TRegistory& settings) {
    QString masks;
    if (settings.JpegType) {
        masks += QStringLiteral("*.jpg;*.Jpeg;");
    }
    if (settings.TiffType) {
        masks += QStringLiteral("*.tif;*.tiff;");
    }
    if (settings.BitmapType) {
        masks += QStringLiteral("*.bmp;");
    }
    if (settings.PngType) {
        masks += QStringLiteral("*.png;");
    }
    if (masks.isEmpty()) {
        return {};
    }
    return QStringLiteral("ファイル形式|") + masks;
}

QString IntakeStart::message() const {
    switch (refusal) {
    case IntakeRefusal::None:
        break;
    case IntakeRefusal::NoFolder:
        return messages::NoScannerFolder;
    case IntakeRefusal::NoFileType:
        return messages::NoFileType;
    }
    return {};
}

IntakeStart startIntake(const TRegistory& settings) {
    if (!QFileInfo(settings.ScannerDir).isDir()) {
        return {IntakeRefusal::NoFolder, {}};
    }
    QString filter = BuildTypeFilter(settings);
    if (filter.isEmpty()) {
        return {IntakeRefusal::NoFileType, {}};
    }
    return {IntakeRefusal::None, std::move(filter)};
}

QStringList masks(const QString& filter) {
    const qsizetype bar = filter.indexOf(u'|');
    if (bar < 0) {
        return {};
    }
    return filter.mid(bar + 1).split(u';', Qt::SkipEmptyParts);
}

QStringList listImageFiles(const QString& folder, const QStringList& masks) {
    QDir dir(folder);
    dir.setNameFilters(masks);
    dir.setFilter(QDir::Files |
                  QDir::NoDotAndDotDot); // name filters without CaseSensitive ignore case
    QFileInfoList entries = dir.entryInfoList();
    // A name that does not decode comes back altered and names no file; such files are
    // reported by unreachableImageFiles().
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const QFileInfo& e) {
                                     return !fileattributes::isPlainFile(e) ||
                                            !QFileInfo::exists(e.absoluteFilePath());
                                 }),
                  entries.end());
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int folded = a.fileName().compare(b.fileName(), Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.fileName() < b.fileName();
    });
    QStringList paths;
    paths.reserve(entries.size());
    for (const auto& entry : entries) {
        paths.append(entry.absoluteFilePath());
    }
    return paths;
}

QStringList unreachableImageFiles(const QString& folder, const QStringList& masks) {
    QList<QRegularExpression> patterns;
    for (const auto& mask : masks) {
        patterns << QRegularExpression(QRegularExpression::wildcardToRegularExpression(mask),
                                       QRegularExpression::CaseInsensitiveOption);
    }
    QStringList names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        const QString name = QFile::decodeName(raw);
        if (QFile::encodeName(name) == raw || raw.startsWith('.')) {
            continue; // reachable, or hidden
        }
        if (std::any_of(patterns.begin(), patterns.end(),
                        [&](const QRegularExpression& p) { return p.match(name).hasMatch(); })) {
            names << name;
        }
    }
    ::closedir(dir);
    names.sort();
    return names;
}

namespace {

[[noreturn]] void importFailed(const QString& path, const QString& reason) {
    throw std::runtime_error(QStringLiteral("%1: %2").arg(path, reason).toStdString());
}

} // namespace

QStringList importFiles(const QStringList& sources, const QString& folder) {
    QStringList imported;
    const QDir dir(folder);
    for (const auto& source : sources) {
        const QFileInfo sourceInfo(source);
        const QString target = dir.filePath(sourceInfo.fileName());
        const QString sourceFile = sourceInfo.canonicalFilePath();
        if (!sourceFile.isEmpty() &&
            QFileInfo(sourceFile).absolutePath() == QFileInfo(folder).canonicalFilePath()) {
            imported << target; // already in the scanner folder: copying it onto itself would
            continue;           // empty it, and a second copy would be a second page
        }
        QFile in(source);
        if (!in.open(QIODevice::ReadOnly)) {
            importFailed(source, in.errorString());
        }
        QFile out(dir.filePath(QStringLiteral(".import-%1.part")
                                   .arg(QUuid::createUuid().toString(QUuid::WithoutBraces))));
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            importFailed(target, out.errorString());
        }
        auto discard = [&out](const QString& path, const QString& reason) {
            out.remove();
            importFailed(path, reason);
        };
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(1 << 20);
            if (chunk.isEmpty() && in.error() != QFileDevice::NoError) {
                discard(source, in.errorString());
            }
            if (out.write(chunk) != chunk.size()) {
                discard(target, out.errorString());
            }
        }
        if (!out.flush() || ::fsync(out.handle()) != 0) {
            discard(target, out.errorString());
        }
        out.close();
        const QString base = sourceInfo.completeBaseName();
        const QString suffix =
            sourceInfo.suffix().isEmpty() ? QString() : u'.' + sourceInfo.suffix();
        for (int number = 1;; ++number) {
            const QString name = number == 1
                                     ? sourceInfo.fileName()
                                     : QStringLiteral("%1_%2%3").arg(base).arg(number).arg(suffix);
            QString error;
            const ExclusiveRename renamed =
                renameWithoutReplacing(out.fileName(), dir.filePath(name), &error);
            if (renamed == ExclusiveRename::Renamed) {
                imported << dir.filePath(name);
                break;
            }
            if (renamed == ExclusiveRename::Failed || number >= 10000) {
                discard(dir.filePath(name), error);
            }
        }
    }
    return imported;
}

ClearResult clear(const QString& folder,
                  const std::function<AfterFailure(const QString&)>& onFailure,
                  const std::function<bool(const QString&)>& remove) {
    ClearResult result;
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (!fileattributes::isPlainFile(entry)) {
            continue; // hidden files and system entries stay
        }
        const QString path = entry.absoluteFilePath();
        if (fileattributes::isReadOnly(entry)) {
            fileattributes::makeWritable(path);
        }
        const bool gone = remove ? remove(path) : QFile::remove(path);
        if (gone) {
            ++result.deleted;
            continue;
        }
        result.failed << entry.fileName();
        if (onFailure(entry.fileName()) == AfterFailure::Stop) {
            result.stopped = true;
            break;
        }
    }
    return result;
}

std::optional<FileIdentity> identify(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    FileIdentity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return identity;
}

namespace {

/// The folder as the file system resolves it, or its cleaned absolute path when it does not
/// exist, with a trailing separator so that "/arch2/" never counts as inside "/arch/".
QString folderKey(const QString& folder) {
    const QFileInfo info(folder);
    QString path = info.canonicalFilePath();
    if (path.isEmpty()) {
        path = QDir::cleanPath(info.absoluteFilePath());
    }
    return path.endsWith(u'/') ? path : path + u'/';
}

} // namespace

QString clearingRefusal(const QString& folder, const QString& archiveBase) {
    const QString key = folderKey(folder);
    if (key == QStringLiteral("/")) {
        return QStringLiteral(
            "スキャナーフォルダーがルートフォルダーのため、クリアしませんでした。");
    }
    if (key == folderKey(QDir::homePath())) {
        return QStringLiteral(
            "スキャナーフォルダーがホームフォルダーのため、クリアしませんでした。");
    }
    if (!archiveBase.isEmpty() && folderKey(archiveBase).startsWith(key)) {
        return QStringLiteral(
            "スキャナーフォルダーが保存先フォルダーかその上位のため、クリアしませんでした。");
    }
    return {};
}

namespace {

enum class Removal : quint8 { Deleted, Kept, Failed };

Removal removeIfArchived(const ArchivedFile& file) {
    if (identify(file.path) != file.identity) {
        return Removal::Kept; // gone, or another file by now: not ours to delete
    }
    const QFileInfo named(file.path);
    const QString aside = named.dir().filePath(
        QStringLiteral(".%1.removing").arg(QUuid::createUuid().toString(QUuid::Id128)));
    if (renameWithoutReplacing(file.path, aside, nullptr) != ExclusiveRename::Renamed) {
        return Removal::Failed;
    }
    if (identify(aside) == file.identity && QFile::remove(aside)) {
        return Removal::Deleted;
    }
    // Another file, swapped in between the check and the move, or one that would not go: it
    // returns to its name. Should a newer file hold that name by now, it stays under the
    // hidden name rather than replace it.
    if (renameWithoutReplacing(aside, file.path, nullptr) != ExclusiveRename::Renamed) {
        return Removal::Failed;
    }
    return identify(file.path) == file.identity ? Removal::Failed : Removal::Kept;
}

} // namespace

ClearResult removeArchived(const std::vector<ArchivedFile>& files,
                           const std::function<AfterFailure(const QString&)>& onFailure) {
    ClearResult result;
    for (const ArchivedFile& file : files) {
        switch (removeIfArchived(file)) {
        case Removal::Deleted:
            ++result.deleted;
            break;
        case Removal::Kept:
            break;
        case Removal::Failed: {
            const QString name = QFileInfo(file.path).fileName();
            result.failed << name;
            if (onFailure(name) == AfterFailure::Stop) {
                result.stopped = true;
                return result;
            }
            break;
        }
        }
    }
    return result;
}

} // namespace scannerfolder
