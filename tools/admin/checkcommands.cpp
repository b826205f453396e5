// SPDX-License-Identifier: GPL-3.0-or-later
#include "admincommand.h"
#include "columntext.h"

#include "index/chartindex.h"
#include "index/maintenance/existencecheck.h"
#include "index/maintenance/registrationwalk.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

enum CheckExistenceExit : int {
    ExitMissingFound = 1,     ///< at least one row has no file; the paths are printed
    ExitIndexUnavailable = 2, ///< the chart index cannot be opened
    ExitExistenceFailed = 3,  ///< the rows could not be read (all of them)
};

enum CheckRegistrationExit : int {
    ExitUnregisteredFound = 1, ///< at least one file has no row; the paths are printed
    ExitIndexClosed = 2,       ///< the chart index cannot be opened or its rows read
    ExitFolderRefused = 3,     ///< the folder is not a folder inside the archive base folder
    ExitWalkFailed = 4,        ///< a folder of the tree could not be listed
    ExitSettingsMissing = 5,   ///< the settings file is missing or did not load whole
};

/// Long enough that the slices cost nothing; the commands have no window to keep answering.
constexpr std::chrono::milliseconds Slice{1000};

} // namespace

/// check-existence FROM TO: the paths of the rows of patients FROM to TO whose file is missing,
/// one a line, in the order of the index.
int runCheckExistence(const QStringList& arguments, const QString& programFolder) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto from = arguments.size() == 2 ? patientNumberArgument(arguments.at(0)) : std::nullopt;
    const auto to = arguments.size() == 2 ? patientNumberArgument(arguments.at(1)) : std::nullopt;
    if (!from || !to || *to < *from) {
        err << "usage: pelorafile-admin check-existence FROM TO (patient numbers of 1..99999999, "
               "FROM not above TO)\n";
        return ExitUsage;
    }
    ChartIndex index;
    if (!openIndex(index, programFolder, err)) {
        return ExitIndexUnavailable;
    }
    IndexCursor range = index.patientRange(*from, *to);
    const auto rangeRows = range.count();
    if (!rangeRows) {
        err << "counting the rows of " << index.location() << " failed: " << range.error() << '\n';
        return ExitExistenceFailed;
    }
    maintenance::ExistenceCheck check(maintenance::rowsToCheck(index, *from, *to, *rangeRows),
                                      *from, *to);
    qint64 missingCount = 0;
    for (;;) {
        QStringList missing;
        const auto state = check.step(Slice, &missing);
        for (const QString& path : missing) {
            out << columnText(path) << '\n';
        }
        out.flush();
        missingCount += missing.size();
        if (state == maintenance::ExistenceCheck::State::Failed) {
            err << "reading the rows of " << index.location() << " failed after "
                << check.examined() << " rows: " << check.error() << '\n';
            return ExitExistenceFailed;
        }
        if (state == maintenance::ExistenceCheck::State::Done) {
            break;
        }
    }
    err << check.examined() << " rows checked, " << missingCount << " files missing\n";
    return missingCount > 0 ? ExitMissingFound : ExitOk;
}

/// check-registration FOLDER: the files below FOLDER, a folder inside the archive base folder
/// of the settings, that no row of the index holds, one full path a line, in walk order.
int runCheckRegistration(const QStringList& arguments, const QString& programFolder) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.size() != 1) {
        err << "usage: pelorafile-admin check-registration FOLDER\n";
        return ExitUsage;
    }
    TRegistory settings;
    SettingsFile settingsFile(SettingsFile::defaultPath());
    if (!settingsFile.load(settings)) {
        err << "cannot read the settings file " << settingsFile.path();
        if (!settingsFile.notice().isEmpty()) {
            err << " (" << settingsFile.notice() << ')';
        }
        err << '\n';
        return ExitSettingsMissing;
    }
    const QString given = QDir::cleanPath(QFileInfo(arguments.at(0)).absoluteFilePath());
    // The folder as the file system resolves it: a link inside the archive that leads out of it
    // must not take the walk elsewhere. The archive is resolved alike, so a base folder reached
    // through a link of its own still holds its folders.
    const QString folder = QFileInfo(given).canonicalFilePath();
    const QString base = QFileInfo(settings.Target).canonicalFilePath();
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || base.isEmpty() ||
        !maintenance::isInsideFolder(given, settings.Target) ||
        !maintenance::isInsideFolder(folder, base)) {
        err << given << " is not a folder inside the archive base folder " << settings.Target
            << '\n';
        return ExitFolderRefused;
    }
    ChartIndex index;
    if (!openIndex(index, programFolder, err)) {
        return ExitIndexClosed;
    }
    maintenance::RegistrationWalk walk(index, given);
    qint64 unregistered = 0;
    for (;;) {
        std::vector<maintenance::RegistrationWalk::Unregistered> found;
        const auto state = walk.step(Slice, &found);
        for (const auto& file : found) {
            out << columnText(file.path) << '\n';
            if (!file.reachable) {
                err << "the name of " << file.path
                    << " is not valid in the file system's encoding\n";
            }
        }
        out.flush();
        unregistered += qint64(found.size());
        if (state == maintenance::RegistrationWalk::State::IndexFailed) {
            err << "reading the rows of " << index.location() << " failed: " << walk.error()
                << '\n';
            return ExitIndexClosed;
        }
        if (state == maintenance::RegistrationWalk::State::FolderFailed) {
            err << "the walk stopped: " << walk.error() << '\n';
            return ExitWalkFailed;
        }
        if (state == maintenance::RegistrationWalk::State::Done) {
            break;
        }
    }
    err << walk.filesExamined() << " files examined, " << unregistered << " without a row\n";
    return unregistered > 0 ? ExitUnregisteredFound : ExitOk;
}
