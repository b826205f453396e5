// SPDX-License-Identifier: GPL-3.0-or-later
// recover-info: what a work journal holds (the pages in their order with their captions and
// notes, the boxes), for support staff looking at work a window did not save, without the window.

#include "admincommand.h"

#include "app/workjournal.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

enum RecoverExit : int {
    ExitNoJournal = 1,         ///< no journal for the folder
    ExitRefused = 2,           ///< the journal cannot be read whole
    ExitSettingsUnreadable = 3 ///< no argument, and the settings file cannot be read
};

QString stateText(workjournal::PageState state) {
    switch (state) {
    case workjournal::PageState::Present:
        return QStringLiteral("present");
    case workjournal::PageState::Gone:
        return QStringLiteral("gone");
    case workjournal::PageState::Replaced:
        return QStringLiteral("replaced");
    }
    return {};
}

/// The journal the arguments name: a journal file itself, or the journal of a scanner folder
/// (given, or the one of the settings file). Empty, with the exit code set, when there is none.
QString journalOf(const QStringList& arguments, QTextStream& err, int& exit) {
    if (!arguments.isEmpty() && QFileInfo(arguments.at(0)).isFile()) {
        return arguments.at(0);
    }
    QString scannerFolder;
    if (arguments.isEmpty()) {
        TRegistory settings;
        SettingsFile settingsFile(SettingsFile::defaultPath());
        if (!settingsFile.load(settings)) {
            err << QStringLiteral("設定ファイルを読み込めません。") << ' ' << settingsFile.path()
                << '\n';
            exit = ExitSettingsUnreadable;
            return {};
        }
        scannerFolder = settings.ScannerDir;
    } else {
        scannerFolder = arguments.at(0);
    }
    const QString path = workjournal::journalPath(workjournal::defaultFolder(), scannerFolder);
    if (!QFileInfo(path).isFile()) {
        err << "no work journal for the scanner folder " << scannerFolder << " (" << path << ")\n";
        const QString aside = workjournal::asidePath(path);
        if (QFileInfo(aside).isFile()) {
            err << "one put aside: " << aside << '\n';
        }
        exit = ExitNoJournal;
        return {};
    }
    return path;
}

} // namespace

/// recover-info [SCANNER-FOLDER | JOURNAL-FILE]
int runRecoverInfo(const QStringList& arguments, const QString&) {
    QTextStream err(stderr);
    if (arguments.size() > 1 || (!arguments.isEmpty() && arguments.at(0).startsWith("-"))) {
        err << "usage: pelorafile-admin recover-info [SCANNER-FOLDER | JOURNAL-FILE]\n";
        return ExitUsage;
    }
    int exit = ExitOk;
    const QString path = journalOf(arguments, err, exit);
    if (path.isEmpty()) {
        return exit;
    }
    const workjournal::Parsed parsed = workjournal::read(path);
    if (!parsed.work) {
        err << path << ": " << parsed.error << '\n';
        return ExitRefused;
    }
    const workjournal::Work& work = *parsed.work;
    QTextStream out(stdout);
    out << "journal: " << path << '\n';
    out << "scanner folder: " << work.scannerFolder << '\n';
    out << "written: " << parsed.written.toLocalTime().toString(Qt::ISODate) << '\n';
    out << "patient number: " << work.patientText << '\n';
    out << "serial number: " << work.serialText << '\n';
    for (size_t i = 0; i < work.keywords.size(); ++i) {
        out << "keyword " << i + 1 << ": " << work.keywords[i] << '\n';
    }
    out << "pages: " << work.pages.size() << '\n';
    int number = 0;
    for (const workjournal::Page& page : work.pages) {
        out << ++number << '\t' << stateText(workjournal::pageState(page)) << '\t' << page.imageFile
            << '\n';
        if (!page.shiori.isEmpty()) {
            out << "\tcaption: " << page.shiori << '\n';
        }
        if (page.note) {
            for (const QString& line : *page.note) {
                out << "\tnote: " << line << '\n';
            }
        }
    }
    return ExitOk;
}
