// The program: creates the main window and the other windows, then runs the event loop.

#include "app/pelorafileapplication.h"
#include "app/productinfo.h"
#include "app/tmainform.h"
#include "app/uifont.h"
#include "app/workjournal.h"
#include "index/chartindexschema.h"
#include "index/indexlocation.h"
#include "platform/urlopener.h"
#include "platform/userprompts.h"
#include "settings/settingsfile.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QStandardPaths>

namespace {

/// The program folder (chart index, lists): "--program-folder DIR", else the environment's
/// PELORAFILE_PROGRAM_FOLDER, else the folder of the executable. An installed program (its
/// manual in ../share/pelorafile) cannot write beside itself: it uses the folder fixed when it
/// was built, or the user's data folder, and makes an empty chart index there on its first
/// start.
QString programFolder(const QStringList& arguments) {
    const int option = arguments.indexOf(QStringLiteral("--program-folder"));
    if (option > 0 && option + 1 < arguments.size()) {
        return arguments.at(option + 1);
    }
    const QString fromEnvironment = qEnvironmentVariable("PELORAFILE_PROGRAM_FOLDER");
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    const QDir executableFolder(QCoreApplication::applicationDirPath());
    if (!QFileInfo(executableFolder.filePath(QStringLiteral("../share/pelorafile"))).isDir()) {
        return executableFolder.path();
    }
    QString folder = QStringLiteral(PELORA_INSTALLED_PROGRAM_FOLDER);
    if (folder.isEmpty()) {
        folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                     .filePath(QStringLiteral("pelorafile"));
    }
    const QDir dir(folder);
    if (QDir().mkpath(folder) && !dir.exists(chartindex::fileName) &&
        !dir.exists(chartindex::confFileName)) {
        QString error;
        if (!chartindex::createEmptyIndex(dir.filePath(chartindex::fileName), &error)) {
            qWarning("cannot create the chart index in %s: %s", qPrintable(folder),
                     qPrintable(error));
        }
    }
    return folder;
}

} // namespace

int main(int argc, char** argv) {
    PeloraFileApplication app(argc, argv);
    QApplication::setApplicationName(product::name);
    QApplication::setApplicationVersion(product::version);
    QApplication::setFont(uiFont());
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pelorafile")));

    WidgetPrompts prompts;
    DesktopUrlOpener opener;
    AppServices services;
    services.programFolder = programFolder(QCoreApplication::arguments());
    services.settingsPath = SettingsFile::defaultPath();
    services.prompts = &prompts;
    services.urlOpener = &opener;
    services.stateFolder = workjournal::defaultFolder();

    TMainForm mainForm(services);
    mainForm.setFont(uiFont());
    app.setErrorReport([&](const QString& text) { mainForm.reportError(text); });
    mainForm.createWindows();
    mainForm.show();
    return app.exec();
}
