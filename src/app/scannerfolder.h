#pragma once

/// \file
/// The scanner folder: which of its files intake takes, and how it is emptied.

#include <QString>
#include <QStringList>
#include <functional>

class TRegistory;

namespace scannerfolder {

/// The file dialog filter of the enabled types, "ファイル形式|*.jpg;*.Jpeg;...", or an empty
/// text when no type is enabled.
QString BuildTypeFilter(const TRegistory& settings);

/// The masks of a filter built by BuildTypeFilter ("*.jpg", "*.Jpeg", ...).
QStringList masks(const QString& filter);

/// Full paths of the plain files of \p folder (not folders, hidden or system entries) whose
/// names match one of \p masks without regard to case, sorted by name without regard to case.
QStringList listImageFiles(const QString& folder, const QStringList& masks);

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

} // namespace scannerfolder
