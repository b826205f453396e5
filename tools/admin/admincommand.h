// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// One sub-command of pelorafile-admin. Each command prints its result on standard output and
/// its errors on standard error, and returns the process exit code.

#include "index/chartindex.h"
#include "settings/integertext.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

struct AdminCommand {
    QString name;
    QString usage;   ///< argument synopsis shown in the help text
    QString summary; ///< one line for the help text
    int (*run)(const QStringList& arguments, const QString& programFolder);
};

/// Exit codes shared by every command.
enum AdminExit : int {
    ExitOk = 0,
    ExitUsage = 64, ///< wrong arguments
};

int runCreateIndex(const QStringList& arguments, const QString& programFolder);
int runUpgradeIndex(const QStringList& arguments, const QString& programFolder);
int runCopyIndex(const QStringList& arguments, const QString& programFolder);
int runImageInfo(const QStringList& arguments, const QString& programFolder);
int runImageConvert(const QStringList& arguments, const QString& programFolder);
int runSearch(const QStringList& arguments, const QString& programFolder);
int runLookup(const QStringList& arguments, const QString& programFolder);
int runVerify(const QStringList& arguments, const QString& programFolder);
int runAudit(const QStringList& arguments, const QString& programFolder);
int runCheckExistence(const QStringList& arguments, const QString& programFolder);
int runCheckRegistration(const QStringList& arguments, const QString& programFolder);
int runRecoverInfo(const QStringList& arguments, const QString& programFolder);

/// Opens the chart index of \p programFolder; false, with the reason written to \p err, when
/// it cannot be opened.
inline bool openIndex(ChartIndex& index, const QString& programFolder, QTextStream& err) {
    if (index.open(programFolder)) {
        return true;
    }
    err << "cannot open the chart index of " << programFolder << ": " << index.lastError() << '\n';
    return false;
}

/// A patient number given as an argument: a signed decimal integer as the windows read one
/// (blanks before it, nothing after it) from 1 to 99999999; nothing for anything else.
inline std::optional<int> patientNumberArgument(const QString& text) {
    const auto value = parseSignedInteger(text);
    if (!value || *value < 1 || *value > 99999999) {
        return std::nullopt;
    }
    return value;
}
