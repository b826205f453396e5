// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The scanner folder: which of its files intake takes, and how it is emptied.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class TRegistory;

namespace scannerfolder {

/// The file dialog filter of the enabled types, "ファイル形式|*.jpg;*.Jpeg;...", or an empty
/// text when no type is enabled.
QString BuildTypeFilter(const TRegistory& settings);

/// Why intake cannot start; both checks are made before any file is looked at.
enum class IntakeRefusal : quint8 { None, NoFolder, NoFileType };

/// The start of an intake, in the window as in the batch save.
struct IntakeStart {
    IntakeRefusal refusal = IntakeRefusal::None;
    QString filter; ///< BuildTypeFilter of the settings; empty when refused
    /// The text that says why intake was refused; empty when it was not.
    QString message() const;
};

/// Checks that the scanner folder exists and then that a file type is enabled.
IntakeStart startIntake(const TRegistory& settings);

/// The masks of a filter built by BuildTypeFilter ("*.jpg", "*.Jpeg", ...).
QStringList masks(const QString& filter);

/// Full paths of the plain files of \p folder (not folders, hidden or system entries) whose
/// names match one of \p masks without regard to case, sorted by name without regard to case.
QStringList listImageFiles(const QString& folder, const QStringList& masks);

/// Names of files in \p folder that match \p masks but whose names are not valid in the file
/// name encoding (Latin-1 or code page 932 bytes copied from elsewhere). No path can reach such
/// a file, so intake cannot take it; it is reported instead. The names are shown with the
/// undecodable bytes replaced, sorted.
QStringList unreachableImageFiles(const QString& folder, const QStringList& masks);

/// Copies \p sources into \p folder. Each copy is written under a hidden name beside its target
/// and then given its name in one step that never replaces a file, so a failed copy never leaves
/// half a page and no file of the folder (an unsaved scan) is ever overwritten: when the name is
/// taken the copy gets the first free name "name_2.ext", "name_3.ext", ... A source that already
/// is a file of the folder is left as it is. Returns the paths in the folder of the sources, in
/// their order. Throws std::runtime_error naming the file and the reason at the first failure;
/// the files copied before it stay.
QStringList importFiles(const QStringList& sources, const QString& folder);

/// What to do after a file could not be deleted.
enum class AfterFailure : quint8 { Next, Stop };

struct ClearResult {
    int deleted = 0;
    QStringList failed; ///< names of the files that could not be deleted
    bool stopped = false;
};

/// Deletes the plain files of \p folder; hidden files, system entries and subfolders stay.
/// Read-only files are made writable first. For a file that cannot be deleted,
/// \p onFailure(name) decides whether the clearing goes on. \p remove deletes one file.
ClearResult clear(const QString& folder,
                  const std::function<AfterFailure(const QString&)>& onFailure,
                  const std::function<bool(const QString&)>& remove = {});

/// Which file a path named when it was read: a file replaced or rewritten since has another
/// identity, so the clearing after a save can tell the archived page from a new scan.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

/// The identity of the regular file \p path (symbolic links are not followed); std::nullopt when
/// there is none.
std::optional<FileIdentity> identify(const QString& path);

/// A file as it was at a known moment: its path and its identity then.
struct IdentifiedFile {
    QString path;
    FileIdentity identity;
};

/// A page file that went into a chart, as it was when it was read.
using ArchivedFile = IdentifiedFile;

/// Why the folder \p folder must not be emptied after a save into \p archiveBase, or an empty
/// text when it may: the home folder, the file system root, and the archive base folder or a
/// folder above it are never emptied.
QString clearingRefusal(const QString& folder, const QString& archiveBase);

/// Deletes the files of \p files that are still the files that were archived. A file replaced,
/// rewritten or grown since it was read stays, as does every file not in the list. Each file is
/// first moved aside under a hidden name, so the identity is checked on exactly the file that is
/// deleted, even while a scanner writes into the folder; one that turns out to be another file
/// is moved back. \p onFailure as for clear().
ClearResult removeArchived(const std::vector<ArchivedFile>& files,
                           const std::function<AfterFailure(const QString&)>& onFailure);

/// The subfolder of the scanner folder that takes the pages a clearing save could not write.
/// Intake reads no subfolder, so they never reach another chart.
extern const QString NotSavedFolderName;
/// The hidden subfolder of the scanner folder that takes removed pages where no desktop trash
/// can be had.
extern const QString HoldingFolderName;

/// Where the files of a move went.
struct MoveResult {
    int trashed = 0;    ///< into the desktop trash
    int held = 0;       ///< into HoldingFolderName, as no trash could be had
    int setAside = 0;   ///< into NotSavedFolderName
    QStringList failed; ///< names of the files that could not be moved and stay where they were
    bool stopped = false;
};

/// Moves the files of \p files that are still the files that were listed into the desktop
/// trash (the freedesktop trash), or where no trash can be had into the hidden holding folder
/// beside them. Nothing is deleted. A file replaced or rewritten since it was listed stays, as
/// does every file not in the list: each file is first moved under a hidden name into the
/// holding folder, so the identity is checked on exactly the file that moves, even while a
/// scanner writes into the folder; one that turns out to be another file goes back to its name
/// (to the first free "name_2.ext", ... should a newer file hold it by then). The trash entry
/// names the page's own path as the place it came from. \p onFailure as for clear().
MoveResult trashRemoved(const std::vector<IdentifiedFile>& files,
                        const std::function<AfterFailure(const QString&)>& onFailure);

/// Moves the files of \p files that are still the files that were listed into the subfolder
/// NotSavedFolderName of their folder, never replacing a file there: a name that is taken gives
/// "name_2.ext", "name_3.ext", ... Checked against races as trashRemoved() is.
MoveResult setAsideNotSaved(const std::vector<IdentifiedFile>& files,
                            const std::function<AfterFailure(const QString&)>& onFailure);

} // namespace scannerfolder
