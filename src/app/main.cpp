// SPDX-License-Identifier: GPL-3.0-or-later
// The program: finds its program folder, runs the first-start setup when there are no settings
// yet, creates the main window and the other windows, then runs the event loop.

#include "app/pelorafileapplication.h"
#include "app/productinfo.h"
#include "app/programstart.h"
#include "app/tmainform.h"
#include "app/uifont.h"
#include "app/workjournal.h"
#include "index/programfolder.h"
#include "index/windows/tdberrormes.h"
#include "platform/urlopener.h"
#include "platform/userprompts.h"
#include "settings/settingsfile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QTextStream>
#include <cstring>

namespace {

const QCommandLineOption programFolderOption(
    programfolder::optionName,
    QStringLiteral("The program folder (chart index, keyword lists). Without it: "
                   "PELORAFILE_PROGRAM_FOLDER, then the clinic-wide file "
                   "/etc/pelorafile/pelorafile.conf, then this program's folder when it holds "
                   "an index, then (for an installed program) the user's data folder "
                   "~/.local/share/pelorafile."),
    QStringLiteral("DIR"));

void describeOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Turns paper medical charts into an electronic archive: takes the scanned "
                       "pages of a chart from the scanner folder, shows them for review and "
                       "saves them as one PDF in the patient's folder of the archive, with a row "
                       "in the chart index."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(programFolderOption);
}

/// True when the command line asks for the help or the version, which are printed without
/// opening a window and so without a display.
bool asksForHelpOrVersion(int argc, char** argv) {
    for (int n = 1; n < argc; ++n) {
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[n], option) == 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("pelorafile"));
    QCoreApplication::setApplicationVersion(product::version);
    QCommandLineParser parser;
    describeOptions(parser);
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication app(argc, argv);
        parser.process(app); // prints the help or the version and exits
        return 0;
    }

    PeloraFileApplication app(argc, argv);
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        QTextStream(stderr) << (parser.errorText().isEmpty()
                                    ? QStringLiteral("unexpected argument: %1")
                                          .arg(parser.positionalArguments().join(u' '))
                                    : parser.errorText())
                            << "\nusage: pelorafile [--program-folder DIR]\n";
        return 64;
    }
    QApplication::setApplicationName(product::name);
    QApplication::setFont(uiFont());
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pelorafile")));

    QString problem;
    const auto folder =
        programfolder::find(programfolder::placesOf(parser.value(programFolderOption)), &problem);
    if (folder && !programfolder::prepareFirstStart(*folder, &problem)) {
        qWarning("cannot create the chart index: %s", qPrintable(problem));
    }
    if (!folder) {
        // Without a program folder there is no index: the database failure window, as for an
        // index that cannot be opened.
        qWarning("no program folder: %s", qPrintable(problem));
        TDBErrorMes failure;
        failure.centreOnScreen();
        failure.exec();
        return 1;
    }

    WidgetPrompts prompts;
    DesktopUrlOpener opener;
    AppServices services;
    services.programFolder = folder->path;
    services.settingsPath = SettingsFile::defaultPath();
    services.prompts = &prompts;
    services.urlOpener = &opener;
    services.stateFolder = workjournal::defaultFolder();

    const std::unique_ptr<TMainForm> mainForm = startProgram(services);
    if (!mainForm) {
        return 0; // the first-start setup was cancelled; nothing was written
    }
    app.setErrorReport([&](const QString& text) { mainForm->reportError(text); });
    return app.exec();
}
