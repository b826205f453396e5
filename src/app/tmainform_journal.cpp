// SPDX-License-Identifier: GPL-3.0-or-later
// The work journal as the main window keeps it: every change of the page list and of the number
// and keyword boxes is handed, as a copy, to the journal's writer thread; at start, the work of a
// run that did not end cleanly is offered back.

#include "app/tmainform.h"

#include "app/journaldialogs.h"
#include "app/journalsession.h"
#include "app/keywordpanel.h"
#include "app/pageworkspace.h"
#include "app/scannerfolder.h"
#include "app/warningdialogs.h"
#include "platform/userprompts.h"
#include "settings/tregistory.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

struct TMainForm::WorkJournal {
    std::unique_ptr<JournalSession> session;
    QTimer* recordTimer = nullptr; // a child of the main window
    bool recording = false;        // from the answer to the restore question until the end
    TRestoreQuestion* question = nullptr;
    TJournalNotice* refused = nullptr;
    TJournalNotice* inUse = nullptr;
    TFileListWarning* notRestored = nullptr;
};

void TMainForm::WorkJournalDeleter::operator()(WorkJournal* journal) const {
    delete journal;
}

JournalSession* TMainForm::journal() const {
    return m_journal ? m_journal->session.get() : nullptr;
}

void TMainForm::createJournal() {
    if (m_services.stateFolder.isEmpty()) {
        return; // no state folder: the program keeps no journal
    }
    m_journal.reset(new WorkJournal);
    m_journal->session = std::make_unique<JournalSession>(m_services.stateFolder);
    // Changes come in bursts (an intake appends page by page): one copy is taken once the
    // burst is over, when the window is back in its event loop.
    m_journal->recordTimer = new QTimer(this);
    m_journal->recordTimer->setSingleShot(true);
    m_journal->recordTimer->setInterval(0);
    connect(m_journal->recordTimer, &QTimer::timeout, this, [this] { recordJournal(); });
    connect(&m_workspace->pages(), &PageList::changed, this, [this] { scheduleJournal(); });
    connect(m_idEdit, &QLineEdit::textChanged, this, [this] { scheduleJournal(); });
    connect(m_volNoEdit, &QLineEdit::textChanged, this, [this] { scheduleJournal(); });
    for (int row = 0; row < TKeywordPanel::Rows; ++row) {
        connect(m_keywords->keyBox(row), &QComboBox::editTextChanged, this,
                [this] { scheduleJournal(); });
    }
    m_journal->question = new TRestoreQuestion(this);
    m_journal->refused =
        new TJournalNotice(this, QStringLiteral("JournalRefused"),
                           QStringLiteral("前回の作業の記録を読めないため、復元できません。"));
    m_journal->inUse = new TJournalNotice(
        this, QStringLiteral("JournalInUse"),
        QStringLiteral("このスキャナフォルダーは、別に起動しているプログラムが使用中です。"));
    m_journal->notRestored = new TFileListWarning(
        this, QStringLiteral("PagesNotRestored"),
        QStringLiteral("次のページは、ファイルがないか差し替えられているため復元しませんでした。"));
}

void TMainForm::startJournal() {
    if (m_journal && !m_journal->recording) {
        claimJournal(m_settings->ScannerDir, true);
    }
}

bool TMainForm::claimJournal(const QString& folder, bool offerRestore) {
    WorkJournal& journal = *m_journal;
    journal.recording = false;
    QString error;
    switch (journal.session->claim(folder, &error)) {
    case JournalSession::Claim::Claimed:
        break;
    case JournalSession::Claim::InUse:
        journal.inUse->prepare(
            QStringLiteral("%1\nこの画面の作業は記録されないため、異常終了のときに復元できません。")
                .arg(QDir::toNativeSeparators(folder)));
        m_services.prompts->exec(*journal.inUse);
        return false;
    case JournalSession::Claim::Failed:
        qWarning("no work journal: %s", qPrintable(error));
        return false;
    }
    if (auto left = journal.session->readLeft()) {
        if (!left->work) {
            journal.refused->prepare(left->refusal);
            m_services.prompts->exec(*journal.refused);
        } else if (!offerRestore || !left->work->holdsPages()) {
            // Not offered in the middle of other work: kept aside for support staff.
            QString moveError;
            journal.session->discardLeft(&moveError);
        } else {
            const workjournal::Work& work = *left->work;
            journal.question->prepare(
                QStringLiteral("%1 ページ　患者番号 %2　連番 %3　（%4 の記録）")
                    .arg(work.pages.size())
                    .arg(work.patientText.isEmpty() ? QStringLiteral("なし") : work.patientText,
                         work.serialText,
                         left->written.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm"))));
            if (m_services.prompts->exec(*journal.question) == TRestoreQuestion::Discard) {
                QString moveError;
                if (!journal.session->discardLeft(&moveError)) {
                    reportError(moveError);
                }
            } else {
                restoreWork(work);
            }
        }
    }
    journal.recording = true;
    if (!m_workspace->pages().isEmpty()) {
        recordJournal(); // the work as it stands now, restored or not, replaces what was left
    }
    return true;
}

void TMainForm::restoreWork(const workjournal::Work& work) {
    QStringList files;
    std::vector<workjournal::Page> kept;
    QStringList notRestored;
    for (const auto& page : work.pages) {
        switch (workjournal::pageState(page)) {
        case workjournal::PageState::Present:
            files << page.imageFile;
            kept.push_back(page);
            break;
        case workjournal::PageState::Gone:
            notRestored << QStringLiteral("%1（ファイルがありません）")
                               .arg(QFileInfo(page.imageFile).fileName());
            break;
        case workjournal::PageState::Replaced:
            notRestored << QStringLiteral("%1（別のファイルに差し替えられています）")
                               .arg(QFileInfo(page.imageFile).fileName());
            break;
        }
    }
    m_journal->session->writer().knowIdentities(kept);
    m_workspace->clearPages();
    m_workspace->appendPages(files);
    for (int i = 0; i < static_cast<int>(kept.size()); ++i) {
        m_workspace->setPageTexts(i, kept[static_cast<size_t>(i)].shiori,
                                  kept[static_cast<size_t>(i)].note);
    }
    m_workspace->setSelectedIndex(0);
    m_idEdit->setText(work.patientText);
    m_volNoEdit->setText(work.serialText);
    for (int row = 0; row < TKeywordPanel::Rows; ++row) {
        m_keywords->replaceText(row, work.keywords.at(static_cast<size_t>(row)));
    }
    setStatusText(StatusPanel::PageCount, QString::number(m_workspace->pages().count()));
    // Pages scanned since are not added behind the operator's back, but they are not kept
    // quiet either: an adding intake takes them in as usual.
    QString message = QStringLiteral("前回の作業を復元しました。");
    const scannerfolder::IntakeStart intake = scannerfolder::startIntake(*m_settings);
    if (intake.refusal == scannerfolder::IntakeRefusal::None) {
        int waiting = 0;
        for (const QString& file : scannerfolder::listImageFiles(
                 m_settings->ScannerDir, scannerfolder::masks(intake.filter))) {
            waiting += m_workspace->pages().containsFileName(QFileInfo(file).fileName()) ? 0 : 1;
        }
        if (waiting > 0) {
            message += QStringLiteral("取り込んでいない画像がスキャナフォルダーに %1 枚あります。")
                           .arg(waiting);
        }
    }
    setStatusText(StatusPanel::Message, message);
    if (!notRestored.isEmpty()) {
        m_journal->notRestored->prepare(notRestored);
        m_services.prompts->exec(*m_journal->notRestored);
    }
}

void TMainForm::scheduleJournal() {
    if (m_journal && m_journal->recording && !m_journal->recordTimer->isActive()) {
        m_journal->recordTimer->start();
    }
}

void TMainForm::recordJournal() {
    if (!m_journal || !m_journal->recording) {
        return;
    }
    m_journal->recordTimer->stop();
    JournalSession& session = *m_journal->session;
    const PageList& pages = m_workspace->pages();
    if (pages.isEmpty()) {
        session.end(); // nothing left to bring back
        return;
    }
    // A copy of the texts only: they are shared, not duplicated, and the writer thread takes
    // the files' identities and serialises.
    workjournal::Work work;
    work.scannerFolder = session.scannerFolder();
    work.pages.reserve(static_cast<size_t>(pages.count()));
    for (int i = 0; i < pages.count(); ++i) {
        const APageList& page = pages.at(i);
        work.pages.push_back(
            workjournal::Page{page.ImageFile, std::nullopt, page.Shiori, page.Note});
    }
    work.patientText = m_idEdit->text();
    work.serialText = m_volNoEdit->text();
    work.keywords = m_keywords->keywords();
    session.record(std::move(work));
}

void TMainForm::endJournal() {
    if (!m_journal || !m_journal->recording) {
        return;
    }
    // A copy already due (the kept pages of a clearing save, the pages of a new intake) is
    // taken after the end, as the start of the next journal.
    m_journal->session->end();
    // A scanner folder chosen while the list held pages of the old one is taken over now.
    if (m_journal->session->scannerFolder() != m_settings->ScannerDir) {
        claimJournal(m_settings->ScannerDir, false);
    }
}

void TMainForm::journalPageRewritten(const QString& imageFile) {
    if (m_journal && m_journal->recording) {
        m_journal->session->writer().rewritten(imageFile);
        scheduleJournal();
    }
}

void TMainForm::followScannerFolder() {
    if (!m_journal || !m_journal->recording ||
        m_journal->session->scannerFolder() == m_settings->ScannerDir) {
        return;
    }
    // The pages in the list belong to the old folder, and so does their journal until the
    // work is saved or replaced; an empty list moves over at once.
    if (m_workspace->pages().isEmpty()) {
        m_journal->session->end();
        claimJournal(m_settings->ScannerDir, true);
    }
}

void TMainForm::closeJournal() {
    if (!m_journal || !m_journal->recording) {
        return;
    }
    m_journal->recordTimer->stop();
    m_journal->session->end();
    m_journal->session->writer().flush();
    m_journal->recording = false;
    m_journal->session->release();
}
