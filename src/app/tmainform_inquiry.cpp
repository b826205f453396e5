// The "照会" menu: the keyword search with its result list, and the lookup of a patient's charts.

#include "app/tmainform.h"

#include "index/chartindex.h"
#include "index/windows/indexmessages.h"
#include "index/windows/indexrowmodel.h"
#include "index/windows/tdbsearchform.h"
#include "index/windows/tpdfviewerform.h"
#include "index/windows/tsrchresultform.h"
#include "index/windows/tview.h"
#include "platform/userprompts.h"
#include "settings/tregistory.h"

#include <algorithm>

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
    const chartindex::Keywords typed = dialog.texts();
    if (std::all_of(typed.begin(), typed.end(),
                    [](const QString& text) { return text.isEmpty(); })) {
        setStatusText(StatusPanel::Message, indexmessages::NoSearchKey);
        return;
    }
    auto rows = std::make_unique<IndexRowModel>(m_index->searchKeywords(typed));
    // The first rows come at once; only a result longer than that is counted by the index.
    rows->fetchRows(IndexRowModel::FetchRows);
    std::optional<qint64> count;
    if (rows->error().isEmpty()) {
        count = rows->atEnd() ? std::optional<qint64>(rows->rowCount()) : rows->count();
    }
    if (!count) {
        setStatusText(StatusPanel::Message, indexmessages::SearchFailed);
        return;
    }
    if (*count == 0) {
        setStatusText(StatusPanel::Message, indexmessages::NoMatch);
        return;
    }
    m_inquiry->results->setRows(std::move(rows), *count);
    m_services.prompts->exec(*m_inquiry->results);
    m_inquiry->results->releaseRows();
}
