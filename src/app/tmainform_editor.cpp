// SPDX-License-Identifier: GPL-3.0-or-later
// The page editor as the main window opens it: one window for the whole run, handed one page
// at a time from the page list, with the comment and bookmark lists that the main window loads
// at start and writes back at exit.

#include "app/tmainform.h"

#include "app/pageworkspace.h"
#include "editor/timageshow.h"
#include "settings/tregistory.h"

struct TMainForm::EditorWindow {
    TImageShow* show = nullptr; // a child of the main window
};

void TMainForm::EditorWindowDeleter::operator()(EditorWindow* window) const {
    delete window;
}

void TMainForm::createEditorWindow() {
    m_editor.reset(new EditorWindow);
    m_editor->show = new TImageShow(*m_services.prompts, this);
    connect(m_workspace, &PageWorkspace::editRequested, this, [this](int page) {
        runCommand([this, page] {
            if (pageCommandsHeld() || page < 0 || page >= m_workspace->pages().count()) {
                return; // a chart being written or thumbnails being made read the page files
            }
            TImageShow& editor = *m_editor->show;
            const APageList& entry = m_workspace->pages().at(page);
            editor.setPagePath(entry.ImageFile);
            editor.setZoomIndex(m_settings->ShowImage);
            editor.setShiori(entry.Shiori);
            editor.setNote(entry.Note);
            editor.setCommentItems(m_commentItems);
            editor.setShioriItems(m_shioriItems);
            editor.Execute();
            // The lists grow inside the editor; they are written back when the program closes.
            m_commentItems = editor.commentItems();
            m_shioriItems = editor.shioriItems();
            m_workspace->setPageTexts(page, editor.shiori(), editor.note());
            m_settings->ShowImage = editor.zoomIndex();
            if (editor.saved()) {
                journalPageRewritten(entry.ImageFile);
                m_workspace->remakeThumbnail(page);
            }
        });
    });
}
