// SPDX-License-Identifier: GPL-3.0-or-later
// Blank pages and skewed pages in the page list: each intake looks for blank pages as it makes
// the thumbnails, marks them and says how many it found; "白紙ページを選択" selects them for the
// operator to look at and delete; "選択ページの傾き補正" straightens the selected pages' files
// on a thread of its own. Nothing is deleted here: the operator's Delete does that.

#include "analysis/pagefile.h"
#include "app/pageimages.h"
#include "app/pageworkspace.h"
#include "app/tmainform.h"
#include "app/tpagelistview.h"
#include "settings/blankpagesettings.h"
#include "settings/tregistory.h"

#include <QAction>
#include <QCoreApplication>
#include <QFutureWatcher>
#include <QLabel>
#include <QProgressBar>
#include <QPromise>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

/// One page straightened on the worker: what happened to its file, and its new thumbnail.
struct StraightenedPage {
    int page = -1;
    pagefile::Result result;
    pageimages::Thumbnail thumbnail;
};

/// Why a page was left as it was, in a few words for the status bar.
QString shortReason(const pagefile::Result& result) {
    const QString angle = QString::number(result.degrees, 'f', 2);
    switch (result.outcome) {
    case pagefile::Outcome::AlreadyLevel:
        return QStringLiteral("%1°、%2° 未満").arg(angle).arg(skew::SmallestTurn);
    case pagefile::Outcome::TooSkewed:
        return QStringLiteral("%1°、%2° 超").arg(angle).arg(skew::LargestTurn);
    case pagefile::Outcome::NoTextLines:
        return QStringLiteral("文字の行なし");
    case pagefile::Outcome::Unreadable:
        return QStringLiteral("読み込めない");
    case pagefile::Outcome::WriteProtected:
        return QStringLiteral("書き込み禁止");
    case pagefile::Outcome::Gone:
        return QStringLiteral("ファイルなし");
    case pagefile::Outcome::Changed:
        return QStringLiteral("他で置き換えられた");
    case pagefile::Outcome::WriteFailed:
        return QStringLiteral("保存失敗");
    case pagefile::Outcome::Straightened:
        break;
    }
    return {};
}

} // namespace

struct TMainForm::PageChecks {
    BlankPageSettings settings;
    // Pages are straightened one after the other on a thread of their own: each takes a few
    // hundred milliseconds, far longer than the window may wait.
    QThreadPool thread;
    QFutureWatcher<StraightenedPage>* watcher = nullptr;
    QList<StraightenedPage> done; ///< the pages of the run under way, as they come back
};

void TMainForm::PageChecksDeleter::operator()(PageChecks* checks) const {
    if (checks && checks->watcher) {
        checks->watcher->cancel();
        checks->watcher->waitForFinished();
    }
    delete checks;
}

bool TMainForm::isStraightening() const {
    return m_pageChecks && m_pageChecks->watcher->isRunning();
}

void TMainForm::waitForStraightening() {
    while (isStraightening()) {
        m_pageChecks->watcher->waitForFinished();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // The finished signal is queued: the last page's results are taken in here.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void TMainForm::createPageChecks() {
    m_pageChecks.reset(new PageChecks);
    PageChecks& checks = *m_pageChecks;
    checks.settings.load(m_services.settingsPath);
    checks.thread.setMaxThreadCount(1);
    checks.watcher = new QFutureWatcher<StraightenedPage>(this);
    m_workspace->setBlankCheck(pageimages::blankCheck(checks.settings));

    connect(m_workspace, &PageWorkspace::intakeChecked, this, [this](int pages, int blank) {
        m_blankPagesPanel->setText(
            blank == 0 ? QStringLiteral("白紙ページなし（%1 ページ中）").arg(pages)
                       : QStringLiteral("白紙ページ %1（%2 ページ中）").arg(blank).arg(pages));
        m_blankPagesPanel->setVisible(true);
    });
    connectCommand(m_selectBlankPages, [this] { selectBlankPages(); });
    connectCommand(m_straightenPages, [this] { straightenSelectedPages(); });

    connect(checks.watcher, &QFutureWatcherBase::resultReadyAt, this, [this](int index) {
        const StraightenedPage page = m_pageChecks->watcher->resultAt(index);
        m_pageChecks->done << page;
        if (page.result.outcome == pagefile::Outcome::Straightened) {
            m_workspace->replaceThumbnail(page.page, page.thumbnail);
        }
        m_progress->setValue(static_cast<int>(m_pageChecks->done.size()));
    });
    connect(checks.watcher, &QFutureWatcherBase::finished, this, [this] {
        const QList<StraightenedPage> done = std::exchange(m_pageChecks->done, {});
        QString text;
        if (done.size() == 1) {
            text = pagefile::describe(done.first().result);
        } else {
            int straightened = 0;
            QStringList leftAlone;
            for (const StraightenedPage& page : done) {
                if (page.result.outcome == pagefile::Outcome::Straightened) {
                    ++straightened;
                } else {
                    leftAlone << QStringLiteral("%1（%2）")
                                     .arg(page.page + 1)
                                     .arg(shortReason(page.result));
                }
            }
            text = QStringLiteral("傾き補正: %1 ページを補正しました。").arg(straightened);
            if (!leftAlone.isEmpty()) {
                text +=
                    QStringLiteral("補正しなかったページ: ") + leftAlone.join(QStringLiteral("、"));
            }
        }
        setStatusText(StatusPanel::Message, text);
        updateBusyCommands();
    });
}

void TMainForm::selectBlankPages() {
    if (pageCommandsHeld() || m_tabs->currentIndex() != static_cast<int>(Tab::PageCheck)) {
        return;
    }
    const QList<int> blank = m_workspace->blankPages();
    if (blank.isEmpty()) {
        return;
    }
    m_workspace->selectPages(blank);
    m_listView->scrollToItem(m_listView->item(blank.first()));
    m_listView->setFocus(); // Delete now removes them
    setStatusText(StatusPanel::Message,
                  QStringLiteral("白紙ページ %1 ページを選択しました。削除キーで削除します。")
                      .arg(blank.size()));
}

void TMainForm::straightenSelectedPages() {
    if (!pageDeletionAllowed()) {
        return;
    }
    const QList<int> selected = m_workspace->selectedPages();
    if (selected.isEmpty()) {
        return;
    }
    QList<std::pair<int, QString>> pages;
    for (int page : selected) {
        pages.append({page, m_workspace->pages().at(page).ImageFile});
    }
    setStatusText(StatusPanel::Message, QStringLiteral("傾きを補正しています…"));
    m_pageChecks->done.clear();
    m_progress->setRange(0, static_cast<int>(pages.size()));
    m_progress->setValue(0);
    const int side = m_workspace->thumbnailSide();
    const bool stretch = m_settings->ThumbStrech;
    const auto check = pageimages::blankCheck(m_pageChecks->settings);
    m_pageChecks->watcher->setFuture(QtConcurrent::run(
        &m_pageChecks->thread, [pages, side, stretch, check](QPromise<StraightenedPage>& promise) {
            for (const auto& [page, path] : pages) {
                if (promise.isCanceled()) {
                    return;
                }
                StraightenedPage done;
                done.page = page;
                done.result = pagefile::straightenFile(path);
                if (done.result.outcome == pagefile::Outcome::Straightened) {
                    done.thumbnail = pageimages::makeThumbnail(path, side, stretch, check);
                }
                promise.addResult(done);
            }
        }));
    updateBusyCommands();
}
