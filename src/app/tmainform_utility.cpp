#include "app/tmainform.h"

struct TMainForm::UtilityWindows {};

void TMainForm::UtilityWindowsDeleter::operator()(UtilityWindows* windows) const {
    delete windows;
}

void TMainForm::createUtilityWindows() {}
