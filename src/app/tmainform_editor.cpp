#include "app/tmainform.h"

struct TMainForm::EditorWindow {};

void TMainForm::EditorWindowDeleter::operator()(EditorWindow* window) const {
    delete window;
}

void TMainForm::createEditorWindow() {}
