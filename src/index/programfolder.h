// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Which folder a program of the package takes as its program folder (the chart index and the
/// keyword lists). The window and both companions find it in one order, so that a nightly job
/// and the operator's window always use the same index:
///
/// 1. the option --program-folder DIR,
/// 2. the environment variable PELORAFILE_PROGRAM_FOLDER,
/// 3. the clinic-wide file /etc/pelorafile/pelorafile.conf, a line "program-folder=DIR",
/// 4. the folder of the executable, when it holds an index (PeloraFileDB.db or
///    PeloraFileDB.conf),
/// 5. for an installed program (its data in ../share/pelorafile) the user's data folder
///    $XDG_DATA_HOME/pelorafile; for a program folder copied anywhere, its own folder.
///
/// Only the user's own data folder is ever prepared with an empty index: a folder named by the
/// option, the environment or the clinic-wide file may be a share that is not mounted, and an
/// index made there would take the charts that belong in the clinic's index.

#include <QString>
#include <optional>

namespace programfolder {

inline const QString optionName = QStringLiteral("program-folder");
inline constexpr char environmentVariable[] = "PELORAFILE_PROGRAM_FOLDER";
inline const QString clinicFilePath = QStringLiteral("/etc/pelorafile/pelorafile.conf");
/// Names another clinic-wide file. For tests only: a test must not depend on what the machine
/// holds in /etc.
inline constexpr char clinicFileVariable[] = "PELORAFILE_CLINIC_FILE_FOR_TESTS";

enum class Source : quint8 { Option, Environment, ClinicFile, ExecutableFolder, UserDataFolder };

/// Where each step of the order looks; placesOf() fills it from the running program.
struct Places {
    QString option;           ///< the value of --program-folder, empty when not given
    QString environment;      ///< PELORAFILE_PROGRAM_FOLDER, empty when unset
    QString clinicFile;       ///< the clinic-wide file (it need not exist)
    QString executableFolder; ///< the folder of the running executable
    bool installed = false;   ///< the executable is installed (../share/pelorafile exists)
    QString userDataFolder;   ///< $XDG_DATA_HOME/pelorafile
};

/// The places of the running program (QCoreApplication must exist), with \p option the value
/// of its --program-folder option, empty when not given.
Places placesOf(const QString& option);

struct ProgramFolder {
    QString path; ///< absolute, cleaned
    Source source;
};

/// The program folder, by the order above. A clinic-wide file that exists but cannot be read or
/// is not of the expected form gives std::nullopt and the reason, with the file and the line,
/// in \p error: falling through to the next step would open another index than the clinic's.
std::optional<ProgramFolder> find(const Places& places, QString* error);

/// The folder a clinic-wide file's \p text names: empty when it names none (only comments and
/// blank lines). \p source names the file in messages. Refused: a key other than
/// program-folder, a key given twice or without a value, a folder that is not absolute.
std::optional<QString> parseClinicFile(const QString& text, const QString& source, QString* error);

/// True when \p folder holds the SQLite index or the conf file of a server index.
bool holdsIndex(const QString& folder);

/// Gets \p folder ready for a first start: the user's own data folder is made, with an empty
/// index, when it holds none; a folder from any other step is left exactly as it is, so that a
/// missing one fails to open. False, with the reason in \p error, when making them failed.
bool prepareFirstStart(const ProgramFolder& folder, QString* error);

} // namespace programfolder
