// SPDX-License-Identifier: GPL-3.0-or-later
// The "照会" menu: the keyword search with its result list, and the lookup of a patient's charts.

#include "app/tmainform.h"

#include "index/chartindex.h"
#include "index/windows/indexrowmodel.h"
#include "index/windows/keywordsearch.h"
#include "index/windows/tdbsearchform.h"
#include "index/windows/tpdfviewerform.h"
#include "index/windows/tsrchresultform.h"
#include "index/windows/tview.h"
#include "platform/userprompts.h"
#include "settings/tregistory.h"

struct TMainForm::InquiryWindows {
    TDBSearchForm* search = nullptr;
    TSrchResultForm* results = nullptr;
    TView* chartList = nullptr;
    TPdfViewerForm* lookup = nullptr;
};

void TMainForm::InquiryWindowsDeleter::operator()(InquiryWindows* windows) const {
    delete windows; // the windows themselves are children of the main window
}

void TMainForm::createInquiryWindows() {
    m_inquiry.reset(new InquiryWindows);
    m_inquiry->search = new TDBSearchForm(this);
    m_inquiry->results = new TSrchResultForm(*m_services.urlOpener, this);
    m_inquiry->chartList = new TView(*m_services.urlOpener, this);
    m_inquiry->lookup =
        new TPdfViewerForm(*m_settings, *m_inquiry->chartList, *m_services.prompts, this);
    connectCommand(m_keywordSearch, [this] { keywordSearch(); });
    connectCommand(m_patientLookup, [this] { m_services.prompts->exec(*m_inquiry->lookup); });
}

void TMainForm::keywordSearch() {
    setStatusText(StatusPanel::Message, QString());
    TDBSearchForm& dialog = *m_inquiry->search;
    dialog.setKeyLabels({m_settings->KeyLabel1, m_settings->KeyLabel2, m_settings->KeyLabel3,
                         m_settings->KeyLabel4});
    if (m_services.prompts->exec(dialog) != QDialog::Accepted) {
        return;
    }
    KeywordSearchOutcome found = runKeywordSearch(*m_index, dialog.texts());
    if (!found.rows) {
        setStatusText(StatusPanel::Message, found.message);
        return;
    }
    m_inquiry->results->setRows(std::move(found.rows), found.recordCount);
    m_services.prompts->exec(*m_inquiry->results);
    m_inquiry->results->releaseRows();
}
