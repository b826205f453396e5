// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/programstart.h"

#include "app/tmainform.h"
#include "app/uifont.h"
#include "settings/firststartdialog.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"

#include <QFileInfo>

std::unique_ptr<TMainForm> startProgram(const AppServices& services) {
    if (!QFileInfo::exists(services.settingsPath)) {
        TRegistory settings;
        SettingsFile file(services.settingsPath);
        FirstStartDialog setup;
        if (!setup.Execute(settings, file, *services.prompts)) {
            return nullptr;
        }
    }
    auto form = std::make_unique<TMainForm>(services);
    form->setFont(uiFont());
    form->createWindows();
    form->show();
    return form;
}
