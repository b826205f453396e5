// SPDX-License-Identifier: GPL-3.0-or-later
#include "admincommand.h"
#include "columntext.h"

#include "index/chartindex.h"
#include "platform/programfiles.h"
#include "settings/settingsfile.h"
#include "settings/tpathstring.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <algorithm>

namespace {

enum SearchExit : int {
    ExitNoMatch = 1,          ///< no row matches
    ExitIndexUnavailable = 2, ///< the chart index cannot be opened
    ExitSearchFailed = 3,     ///< the search statement failed
};

enum LookupExit : int {
    ExitPatientNumber = 1,      ///< not a patient number of 1..99999999
    ExitNoPatientFolder = 2,    ///< the patient folder does not exist (or cannot be reached)
    ExitSettingsUnreadable = 3, ///< the settings file is missing or did not load whole
};

} // namespace

/// search [--key1 T] ... [--key4 T]: the rows whose keywords contain the given texts, as the
/// search dialog finds them, one tab-separated line a row in the grid's column order.
int runSearch(const QStringList& arguments, const QString& programFolder) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    chartindex::Keywords typed;
    for (qsizetype n = 0; n < arguments.size(); n += 2) {
        const QString& option = arguments.at(n);
        const qsizetype key = option.size() == 6 && option.startsWith(QLatin1String("--key"))
                                  ? option.at(5).digitValue()
                                  : -1;
        if (key < 1 || key > 4 || n + 1 >= arguments.size()) {
            err << "usage: pelorafile-admin search [--key1 TEXT] [--key2 TEXT] [--key3 TEXT] "
                   "[--key4 TEXT]\n";
            return ExitUsage;
        }
        typed.at(size_t(key - 1)) = arguments.at(n + 1);
    }
    if (std::all_of(typed.begin(), typed.end(), [](const QString& t) { return t.isEmpty(); })) {
        err << QStringLiteral("検索のキーを設定してください。") << '\n';
        return ExitUsage;
    }
    ChartIndex index;
    if (!openIndex(index, programFolder, err)) {
        return ExitIndexUnavailable;
    }
    IndexCursor rows = index.searchKeywords(typed);
    qint64 found = 0;
    while (const auto row = rows.next()) {
        QStringList columns{QString::number(row->pidno), QString::number(row->subNo),
                            ChartIndex::timestampText(row->createdAt), columnText(row->filePath)};
        for (const QString& key : row->keys) {
            columns << columnText(key);
        }
        out << columns.join(QLatin1Char('\t')) << '\n';
        ++found;
    }
    out.flush();
    if (rows.failed()) {
        err << QStringLiteral("検索でエラーが発生しました。データベースを確認してください。") << ' '
            << rows.error() << '\n';
        return ExitSearchFailed;
    }
    if (found == 0) {
        err << QStringLiteral("該当なし。") << '\n';
        return ExitNoMatch;
    }
    return ExitOk;
}

/// lookup PATIENT: the chart files in the patient's folder of the archive, one full path a
/// line, sorted by name; the archive layout comes from the settings file.
int runLookup(const QStringList& arguments, const QString&) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.size() != 1) {
        err << "usage: pelorafile-admin lookup PATIENT\n";
        return ExitUsage;
    }
    const std::optional<int> number = patientNumberArgument(arguments.at(0));
    if (!number) {
        err << QStringLiteral("患者番号エラー") << ' ' << arguments.at(0) << '\n';
        return ExitPatientNumber;
    }
    TRegistory settings;
    SettingsFile settingsFile(SettingsFile::defaultPath());
    if (!settingsFile.load(settings)) {
        err << QStringLiteral("設定ファイルを読み込めません。") << ' ' << settingsFile.path();
        if (!settingsFile.notice().isEmpty()) {
            err << " (" << settingsFile.notice() << ')';
        }
        err << '\n';
        return ExitSettingsUnreadable;
    }
    TPathString path;
    path.setLayout(settings);
    path.SetNumber(*number);
    const QString folder = path.Folder();
    if (!QFileInfo(folder).isDir()) {
        err << QStringLiteral("接続エラー") << ' ' << folder << '\n';
        return ExitNoPatientFolder;
    }
    const QFileInfoList files =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& file : files) {
        if (!programfiles::isProgramFileName(file.fileName())) {
            out << file.absoluteFilePath() << '\n';
        }
    }
    return ExitOk;
}
