// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tmainform.h"

#include "index/maintenance/tdbmainteform.h"
#include "index/maintenance/tdbregchkform.h"
#include "index/maintenance/tpeloraexistform.h"

#include <QAction>
#include <QMenu>

struct TMainForm::UtilityWindows {
    TPeloraExistForm* existence = nullptr;
    TDBRegChkForm* registration = nullptr;
    TDBMainteForm* maintenance = nullptr;
};

void TMainForm::UtilityWindowsDeleter::operator()(UtilityWindows* windows) const {
    delete windows; // the windows themselves are children of the main window
}

void TMainForm::createUtilityWindows() {
    m_utility.reset(new UtilityWindows);
    m_utility->existence = new TPeloraExistForm(*m_index, *m_services.prompts, this);
    m_utility->registration = new TDBRegChkForm(*m_index, *m_settings, *m_services.prompts, this);
    m_utility->maintenance = new TDBMainteForm(*m_index, *m_services.prompts, this);
    connectCommand(m_existenceCheck, [this] { m_utility->existence->execute(); });
    connectCommand(m_maintenance, [this] { m_utility->maintenance->execute(); });
    connectCommand(m_registrationCheck, [this] { m_utility->registration->execute(); });

    // While a chart is being written its file is in the archive before its row is in the
    // index: a registration walk then would offer it for a second row.
    if (auto* utilityMenu = qobject_cast<QMenu*>(m_registrationCheck->parent())) {
        connect(utilityMenu, &QMenu::aboutToShow, this,
                [this] { m_registrationCheck->setEnabled(!isSaving()); });
    }
}
