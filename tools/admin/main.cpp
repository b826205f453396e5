// SPDX-License-Identifier: GPL-3.0-or-later
// pelorafile-admin: maintenance commands for support staff and scripts.

#include "admincommand.h"

#include "index/programfolder.h"
#include "platform/productversion.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

const QList<AdminCommand>& commands() {
    static const QList<AdminCommand> list{
        {QStringLiteral("create-index"), QStringLiteral("FOLDER"),
         QStringLiteral("create an empty chart index for the program folder FOLDER (made when "
                        "missing):\n      the SQLite file, or the tables on the server its "
                        "PeloraFileDB.conf names; never\n      touches an existing one (exit 1: it "
                        "exists already, 2: it cannot be created)"),
         runCreateIndex},
        {QStringLiteral("upgrade-index"), QString(),
         QStringLiteral("bring an index made by an earlier version up to date (on a server, run "
                        "it as the\n      owner of the tables); an index that is up to date is "
                        "left as it is\n      (exit 2: the index cannot be opened or brought up "
                        "to date)"),
         runUpgradeIndex},
        {QStringLiteral("copy-index"), QStringLiteral("FROM TO"),
         QStringLiteral("copy every row, hash and audit line of the index of program folder FROM "
                        "into the\n      empty index of program folder TO, all or nothing (exit "
                        "1: TO holds rows or\n      audit lines, 2: an index cannot be opened, 3: "
                        "the copy or its count check\n      failed)"),
         runCopyIndex},
        {QStringLiteral("image-info"), QStringLiteral("FILE"),
         QStringLiteral("print the size, bits per pixel, resolution and TIFF compression a load "
                        "gives\n      (exit 1: the file does not load, 2: it cannot be opened)"),
         runImageInfo},
        {QStringLiteral("image-convert"), QStringLiteral("IN OUT"),
         QStringLiteral("load IN and save it as OUT in the format of OUT's extension\n      "
                        "(exit 1: the load or save failed, 2: a file cannot be opened or created)"),
         runImageConvert},
        {QStringLiteral("search"),
         QStringLiteral("[--key1 TEXT] [--key2 TEXT] [--key3 TEXT] [--key4 TEXT]"),
         QStringLiteral("print the rows whose keywords contain every given text (% and _ are "
                        "wildcards),\n      one tab-separated line a row: patient, serial, "
                        "created, file, key 1 to 4;\n      a tab, line break or backslash in a "
                        "field is written \\t, \\n, \\r or \\\\\n      (exit 1: no "
                        "match, 2: the index cannot be opened, 3: the search failed,\n      64: "
                        "no text given)"),
         runSearch},
        {QStringLiteral("lookup"), QStringLiteral("PATIENT"),
         QStringLiteral("print the files in the archive folder of patient number PATIENT, one "
                        "full path\n      a line, sorted by name; the archive layout comes from "
                        "the settings file\n      (exit 1: not a patient number of 1..99999999, "
                        "2: the patient folder does\n      not exist, 3: the settings file "
                        "cannot be read)"),
         runLookup},
        {QStringLiteral("verify"), QStringLiteral("[FROM TO]"),
         QStringLiteral("read every chart of patients FROM to TO (all when not given) again and "
                        "compare\n      its SHA-256 with the one stored when it was filed; one "
                        "line per chart:\n      missing, unreadable, changed or not hashed, a tab, "
                        "its path (exit 1: such\n      charts were found, 2: the index cannot be "
                        "opened, 3: reading it failed)"),
         runVerify},
        {QStringLiteral("audit"), QStringLiteral("[--check] [PATIENT]"),
         QStringLiteral("print the audit trail, oldest first: time, workstation, user, action, "
                        "patient,\n      file, old keys 1 to 4, new keys 1 to 4, tab-separated; "
                        "with --check, print\n      instead every break of the trail's chain and "
                        "every row or hash that differs\n      from what the trail recorded "
                        "(exit 1: --check found such, 2: the index\n      cannot be opened, 3: "
                        "reading it failed)"),
         runAudit},
        {QStringLiteral("check-existence"), QStringLiteral("FROM TO"),
         QStringLiteral("print the file path of every row of patients FROM to TO whose file is "
                        "missing\n      (a folder of that name counts as missing), one a line "
                        "(exit 1: files are\n      missing, 2: the index cannot be opened, 3: "
                        "reading its rows failed);\n      a tab, line break or backslash in a "
                        "path is written \\t, \\n, \\r or \\\\"),
         runCheckExistence},
        {QStringLiteral("check-registration"), QStringLiteral("FOLDER"),
         QStringLiteral("print every file below FOLDER that no row of the index holds, one "
                        "full path a\n      line; FOLDER must lie inside the archive base "
                        "folder of the settings file\n      (exit 1: files without a row, 2: "
                        "the index cannot be opened or read, 3: FOLDER\n      is refused, 4: a "
                        "folder cannot be listed, 5: the settings file cannot be read);\n"
                        "      a tab, line break or backslash in a path is written \\t, \\n, "
                        "\\r or \\\\;\n      the program's own files (.pelorafile.lock, "
                        ".pelorafile-*) are never listed"),
         runCheckRegistration},
        {QStringLiteral("recover-info"), QStringLiteral("[SCANNER-FOLDER | JOURNAL-FILE]"),
         QStringLiteral("print what the work journal of a scanner folder (that of the settings "
                        "file when\n      none is given) or a journal file holds: the boxes, "
                        "and each page in its order\n      with present, gone or replaced, its "
                        "caption and note (exit 1: no journal,\n      2: the journal cannot be "
                        "read whole, 3: the settings file cannot be read)"),
         runRecoverInfo},
    };
    return list;
}

void printHelp(QTextStream& out) {
    out << "usage: pelorafile-admin [--program-folder DIR] COMMAND ARGUMENTS\n"
           "       pelorafile-admin --help | --version\n\n"
           "options:\n"
           "  --program-folder DIR\n"
           "      the program folder of the chart index; without it PELORAFILE_PROGRAM_FOLDER,\n"
           "      then the clinic-wide file /etc/pelorafile/pelorafile.conf, then this\n"
           "      program's folder when it holds an index, then the user's data folder of an\n"
           "      installed program (exit 2: the clinic-wide file cannot be used)\n"
           "  --help     print this help\n"
           "  --version  print the version\n\ncommands:\n";
    for (const auto& command : commands()) {
        out << "  " << command.name << ' ' << command.usage << "\n      " << command.summary
            << '\n';
    }
    out << "\nexit codes: 0 success, 64 wrong arguments; other codes as listed per command\n";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    QString option;
    if (arguments.size() >= 2 && arguments.at(0) == QLatin1String("--program-folder")) {
        option = arguments.at(1);
        arguments = arguments.mid(2);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (arguments.isEmpty() || arguments.at(0) == QLatin1String("--help")) {
        printHelp(arguments.isEmpty() ? err : out);
        return arguments.isEmpty() ? ExitUsage : ExitOk;
    }
    if (arguments.at(0) == QLatin1String("--version")) {
        out << "pelorafile-admin " << productVersion() << '\n';
        return ExitOk;
    }
    for (const auto& command : commands()) {
        if (command.name == arguments.at(0)) {
            QString problem;
            const auto folder = programfolder::find(programfolder::placesOf(option), &problem);
            if (!folder) {
                err << "no program folder: " << problem << '\n';
                return 2;
            }
            return command.run(arguments.mid(1), folder->path);
        }
    }
    err << "unknown command: " << arguments.at(0) << '\n';
    printHelp(err);
    return ExitUsage;
}
