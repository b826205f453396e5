#include "app/tmainform.h"

#include "index/maintenance/tpeloraexistform.h"

#include <QAction>
#include <QMenu>

struct TMainForm::UtilityWindows {
    TPeloraExistForm* existence = nullptr;
};

void TMainForm::UtilityWindowsDeleter::operator()(UtilityWindows* windows) const {
    delete windows; // the windows themselves are children of the main window
}

void TMainForm::createUtilityWindows() {
    m_utility.reset(new UtilityWindows);
    m_utility->existence = new TPeloraExistForm(*m_index, *m_services.prompts, this);
    connectCommand(m_existenceCheck, [this] { m_utility->existence->execute(); });
}
