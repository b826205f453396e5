// The program: creates the main window and the other windows, then runs the event loop.

#include "app/pelorafileapplication.h"
#include "app/productinfo.h"
#include "app/tmainform.h"
#include "app/uifont.h"
#include "platform/urlopener.h"
#include "platform/userprompts.h"
#include "settings/settingsfile.h"

int main(int argc, char** argv) {
    PeloraFileApplication app(argc, argv);
    QApplication::setApplicationName(product::name);
    QApplication::setApplicationVersion(product::version);
    QApplication::setFont(uiFont());

    WidgetPrompts prompts;
    DesktopUrlOpener opener;
    AppServices services;
    services.programFolder = QCoreApplication::applicationDirPath();
    services.settingsPath = SettingsFile::defaultPath();
    services.prompts = &prompts;
    services.urlOpener = &opener;

    TMainForm mainForm(services);
    mainForm.setFont(uiFont());
    app.setErrorReport([&](const QString& text) { mainForm.reportError(text); });
    mainForm.createWindows();
    mainForm.show();
    return app.exec();
}
