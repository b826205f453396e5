// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <algorithm>
#include <cerrno>
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

/// Gives \p from the first name in \p folder that no file holds: \p name, then "base_2.ext",
/// "base_3.ext", ... Returns the new path, or an empty text with \p error set.
QString renameToFreeName(const QString& from, const QDir& folder, const QString& name,
                         QString* error) {
    const QFileInfo named(name);
    const QString base = named.completeBaseName();
    const QString suffix = named.suffix().isEmpty() ? QString() : u'.' + named.suffix();
    for (int number = 1; number <= 10000; ++number) {
        const QString target = folder.filePath(
            number == 1 ? name : QStringLiteral("%1_%2%3").arg(base).arg(number).arg(suffix));
        switch (renameWithoutReplacing(from, target, error)) {
        case ExclusiveRename::Renamed:
            return target;
        case ExclusiveRename::Taken:
            break;
        case ExclusiveRename::Failed:
            return {};
        }
    }
    if (error) {
        *error = QStringLiteral("%1: no free name").arg(folder.filePath(name));
    }
    return {};
}

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
        QString error;
        const QString named = renameToFreeName(out.fileName(), dir, sourceInfo.fileName(), &error);
        if (named.isEmpty()) {
            discard(dir.filePath(sourceInfo.fileName()), error);
        }
        imported << named;
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

const QString NotSavedFolderName = QStringLiteral("保存できなかったページ");
const QString HoldingFolderName = QStringLiteral(".pelorafile-removed");

namespace {

enum class Move : quint8 { Moved, Kept, Failed };

/// Whether \p folder is a folder of its own (not a link to one elsewhere), made when missing.
bool ensureSubfolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    struct stat info {};
    if (::lstat(path.constData(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    if (::mkdir(path.constData(), 0777) == 0) {
        return true;
    }
    return errno == EEXIST && ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

/// Moves \p file into \p folder under the first free form of its name when it is still the
/// listed file; \p movedTo receives where it went.
Move moveIfListed(const IdentifiedFile& file, const QString& folder, QString* movedTo) {
    if (identify(file.path) != file.identity) {
        return Move::Kept; // gone, or another file by now: not ours to move
    }
    if (!ensureSubfolder(folder)) {
        return Move::Failed;
    }
    const QString aside = QDir(folder).filePath(
        QStringLiteral(".%1.moving").arg(QUuid::createUuid().toString(QUuid::Id128)));
    if (renameWithoutReplacing(file.path, aside, nullptr) != ExclusiveRename::Renamed) {
        return Move::Failed;
    }
    const QFileInfo named(file.path);
    if (identify(aside) != file.identity) {
        // Another file, swapped in between the check and the move: it goes back where intake
        // reads it, beside a newer file that may hold its name by now.
        return renameToFreeName(aside, named.dir(), named.fileName(), nullptr).isEmpty()
                   ? Move::Failed
                   : Move::Kept;
    }
    *movedTo = renameToFreeName(aside, QDir(folder), named.fileName(), nullptr);
    if (movedTo->isEmpty()) {
        renameToFreeName(aside, named.dir(), named.fileName(), nullptr);
        return Move::Failed;
    }
    return Move::Moved;
}

/// Makes the trash entry of \p inTrash, trashed from the holding folder as \p held, name
/// \p original as the place it came from, so that restoring it puts the page back where it was.
void pointTrashEntryAt(const QString& inTrash, const QString& held, const QString& original) {
    const QFileInfo trashed(inTrash);
    QDir trash = trashed.dir();
    if (!trash.cdUp()) {
        return;
    }
    const QString infoPath =
        trash.filePath(QStringLiteral("info/") + trashed.fileName() + QStringLiteral(".trashinfo"));
    QFile in(infoPath);
    if (!in.open(QIODevice::ReadOnly)) {
        return;
    }
    QList<QByteArray> lines = in.readAll().split('\n');
    in.close();
    const QString heldTail = HoldingFolderName + u'/' + QFileInfo(held).fileName();
    bool changed = false;
    for (QByteArray& line : lines) {
        if (!line.startsWith("Path=")) {
            continue;
        }
        // The path is absolute, or relative to the top of the file system of the trash.
        QString path = QUrl::fromPercentEncoding(line.mid(5));
        if (path != heldTail && !path.endsWith(u'/' + heldTail)) {
            return;
        }
        path = path.chopped(heldTail.size()) + QFileInfo(original).fileName();
        line = "Path=" + QUrl::toPercentEncoding(path, "/");
        changed = true;
    }
    QSaveFile out(infoPath);
    if (changed && out.open(QIODevice::WriteOnly)) {
        out.write(lines.join('\n'));
        out.commit();
    }
}

/// Whether the trash of the user's data folder is there, made when missing (in a data folder
/// that a new account may not have yet either). QFile::moveToTrash falls back to it for a file
/// on a file system without a trash of its own, and where it cannot make it, it trashes into the
/// working folder: it is called only when this holds.
bool homeTrashExists() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data)) {
        return false;
    }
    const QString trash = QDir(data).filePath(QStringLiteral("Trash"));
    ::mkdir(QFile::encodeName(trash).constData(), 0700); // the trash is the user's alone
    return QFileInfo(trash).isDir();
}

/// Moves each file with \p move; a failure asks \p onFailure whether to go on.
MoveResult moveEach(const std::vector<IdentifiedFile>& files,
                    const std::function<AfterFailure(const QString&)>& onFailure,
                    const std::function<Move(const IdentifiedFile&, MoveResult&)>& move) {
    MoveResult result;
    for (const IdentifiedFile& file : files) {
        if (move(file, result) != Move::Failed) {
            continue;
        }
        const QString name = QFileInfo(file.path).fileName();
        result.failed << name;
        if (onFailure(name) == AfterFailure::Stop) {
            result.stopped = true;
            break;
        }
    }
    return result;
}

} // namespace

MoveResult trashRemoved(const std::vector<IdentifiedFile>& files,
                        const std::function<AfterFailure(const QString&)>& onFailure) {
    const bool trashAvailable = !files.empty() && homeTrashExists();
    return moveEach(
        files, onFailure, [trashAvailable](const IdentifiedFile& file, MoveResult& result) {
            QString held;
            const Move moved =
                moveIfListed(file, QFileInfo(file.path).dir().filePath(HoldingFolderName), &held);
            if (moved != Move::Moved) {
                return moved;
            }
            // The trash takes the file by a rename, so it keeps the identity checked above; a trash
            // on another file system, or none at all, leaves it in the holding folder.
            QString inTrash;
            if (trashAvailable && QFile::moveToTrash(held, &inTrash)) {
                pointTrashEntryAt(inTrash, held, file.path);
                ++result.trashed;
            } else {
                ++result.held;
            }
            return moved;
        });
}

MoveResult setAsideNotSaved(const std::vector<IdentifiedFile>& files,
                            const std::function<AfterFailure(const QString&)>& onFailure) {
    return moveEach(files, onFailure, [](const IdentifiedFile& file, MoveResult& result) {
        QString movedTo;
        const Move moved =
            moveIfListed(file, QFileInfo(file.path).dir().filePath(NotSavedFolderName), &movedTo);
        if (moved == Move::Moved) {
            ++result.setAside;
        }
        return moved;
    });
}

} // namespace scannerfolder
