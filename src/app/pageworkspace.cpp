// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pageworkspace.h"

#include "app/thumbnailbuilder.h"
#include "app/thumbnailrule.h"
#include "app/tpagelistview.h"
#include "settings/tregistory.h"

#include <QPixmap>

PageWorkspace::PageWorkspace(TPageListView* view, const TRegistory& settings, QObject* parent)
    : QObject(parent), m_view(view), m_settings(settings), m_builder(new ThumbnailBuilder(this)) {
    connect(m_builder, &ThumbnailBuilder::thumbnailReady, this, &PageWorkspace::onThumbnailReady);
    connect(m_builder, &ThumbnailBuilder::progress, this, &PageWorkspace::thumbnailProgress);
    connect(m_view, &TPageListView::pageDropped, this, &PageWorkspace::onDropped);
    connect(m_view, &TPageListView::captionEdited, this, &PageWorkspace::onCaptionEdited);
    connect(m_view, &TPageListView::released, this, &PageWorkspace::onReleased);
    connect(m_view, &QListWidget::currentRowChanged, this, &PageWorkspace::selectedIndexChanged);
    connect(m_view, &TPageListView::rightReleased, this, &PageWorkspace::editRequested);
    connect(m_view, &TPageListView::openRequested, this, &PageWorkspace::editRequested);
    resetThumbnails();
}

PageWorkspace::~PageWorkspace() {
    m_builder->cancel();
}

int PageWorkspace::selectedIndex() const {
    return m_view->currentRow();
}

void PageWorkspace::setSelectedIndex(int index) {
    // Also for the current row itself: it may have lost its highlight to a click on empty space.
    if (index >= 0 && index < m_view->count()) {
        m_view->selectRows({index});
    } else {
        m_view->setCurrentRow(-1);
    }
}

void PageWorkspace::onReleased(int row) {
    // Over a page the press has chosen it already (Ctrl and Shift adding to the pages
    // chosen, a Ctrl+release taking one out); over empty space no page is chosen.
    if (row < 0) {
        setSelectedIndex(-1);
    }
}

QList<int> PageWorkspace::selectedPages() const {
    return m_view->selectedRows();
}

void PageWorkspace::selectPages(const QList<int>& pages) {
    m_view->selectRows(pages);
}

void PageWorkspace::setBlankCheck(const std::optional<blankpage::Thresholds>& thresholds) {
    m_blankCheck = thresholds;
}

bool PageWorkspace::isBlank(int index) const {
    return index >= 0 && index < m_pages.count() && m_blank.contains(&m_pages.at(index));
}

QList<int> PageWorkspace::blankPages() const {
    QList<int> pages;
    for (int i = 0; i < m_pages.count(); ++i) {
        if (m_blank.contains(&m_pages.at(i))) {
            pages << i;
        }
    }
    return pages;
}

bool PageWorkspace::isBusy() const {
    return !m_pending.isEmpty();
}

void PageWorkspace::resetThumbnails() {
    m_thumbnails.clear();
    m_side = thumbnailrule::side(m_settings.ImSize);
    m_view->setThumbnailSide(m_side);
    m_brokenIcon = QIcon(QPixmap::fromImage(pageimages::brokenPageIcon(m_side)));
    m_pendingIcon = QIcon(QPixmap::fromImage(pageimages::pendingPageIcon(m_side)));
}

void PageWorkspace::clearPages() {
    m_builder->cancel();
    m_pending.clear();
    m_jobPages.clear();
    m_pages.clear();
    m_view->clear();
    m_blank.clear();
    m_intake.clear();
    m_intakeBlank.clear();
    m_intakePages = -1;
    resetThumbnails();
    if (m_wasBusy) {
        m_wasBusy = false;
        emit busyChanged(false);
    }
}

namespace {

QListWidgetItem* newItem() {
    auto* item = new QListWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
                   Qt::ItemIsDragEnabled);
    item->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return item;
}

} // namespace

void PageWorkspace::appendPages(const QStringList& paths) {
    m_intake.clear();
    m_intakeBlank.clear();
    m_intakePages = m_blankCheck ? 0 : -1;
    for (const auto& path : paths) {
        const APageList& page = m_pages.append(APageList{path, -1, std::nullopt, QString()});
        m_view->addItem(newItem());
        m_pending.append(&page);
        if (m_blankCheck) {
            m_intake.append(&page);
            ++m_intakePages;
        }
        refreshItem(m_pages.count() - 1);
    }
    startPendingThumbnails();
    reportIntakeWhenDone(); // an intake that took no page
}

void PageWorkspace::reportIntakeWhenDone() {
    if (m_blankCheck && m_intake.isEmpty() && m_intakePages >= 0) {
        const int pages = m_intakePages;
        m_intakePages = -1; // reported
        emit intakeChecked(pages, static_cast<int>(m_intakeBlank.size()));
    }
}

void PageWorkspace::takeVerdict(const APageList& page, const pageimages::Thumbnail& thumbnail) {
    if (thumbnail.blank && thumbnail.blank->blank) {
        m_blank.insert(&page);
    } else if (!thumbnail.failed) {
        m_blank.remove(&page);
    }
    if (m_intake.removeOne(&page)) {
        if (m_blank.contains(&page)) {
            m_intakeBlank.insert(&page);
        }
        reportIntakeWhenDone();
    }
}

bool PageWorkspace::rebuildThumbnails() {
    if (m_pages.isEmpty()) {
        return false;
    }
    const int selected = selectedIndex();
    m_builder->cancel();
    m_view->clear();
    resetThumbnails();
    m_pending.clear();
    for (int i = 0; i < m_pages.count(); ++i) {
        const APageList& page = m_pages.at(i);
        m_pages.setImageIndex(page, -1);
        m_pending.append(&page);
        m_view->addItem(newItem());
        refreshItem(i);
    }
    setSelectedIndex(selected);
    startPendingThumbnails();
    return true;
}

void PageWorkspace::startPendingThumbnails() {
    if (m_pending.isEmpty()) {
        return;
    }
    // A build still running for earlier pages is restarted with every page still waiting.
    m_jobPages = m_pending;
    QStringList paths;
    paths.reserve(m_jobPages.size());
    for (const APageList* page : m_jobPages) {
        paths.append(page->ImageFile);
    }
    if (!m_wasBusy) {
        m_wasBusy = true;
        emit busyChanged(true);
    }
    m_builder->start(paths, m_side, m_settings.ThumbStrech, m_blankCheck);
}

void PageWorkspace::onThumbnailReady(int job, const pageimages::Thumbnail& thumbnail) {
    const APageList* page = m_jobPages.value(job);
    if (!page || !m_pending.removeOne(page)) {
        return;
    }
    takeVerdict(*page, thumbnail);
    if (thumbnail.failed) {
        m_pages.setImageIndex(*page, -1);
    } else {
        m_thumbnails.append(QIcon(QPixmap::fromImage(thumbnail.image)));
        m_pages.setImageIndex(*page, static_cast<int>(m_thumbnails.size()) - 1);
    }
    const int row = indexOf(page);
    if (row >= 0) {
        refreshItem(row);
    }
    if (m_pending.isEmpty() && m_wasBusy) {
        m_wasBusy = false;
        emit busyChanged(false);
    }
}

void PageWorkspace::remakeThumbnail(int index) {
    if (index < 0 || index >= m_pages.count()) {
        return;
    }
    const APageList& page = m_pages.at(index);
    replaceThumbnail(index, pageimages::makeThumbnail(page.ImageFile, m_side,
                                                      m_settings.ThumbStrech, m_blankCheck));
}

void PageWorkspace::replaceThumbnail(int index, const pageimages::Thumbnail& thumbnail) {
    if (index < 0 || index >= m_pages.count()) {
        return;
    }
    const APageList& page = m_pages.at(index);
    if (thumbnail.failed) {
        return; // the old thumbnail stays
    }
    takeVerdict(page, thumbnail);
    const QIcon icon(QPixmap::fromImage(thumbnail.image));
    if (page.ImageIndex >= 0 && page.ImageIndex < m_thumbnails.size()) {
        m_thumbnails[page.ImageIndex] = icon;
    } else {
        m_thumbnails.append(icon);
        m_pages.setImageIndex(page, static_cast<int>(m_thumbnails.size()) - 1);
    }
    refreshItem(index);
}

void PageWorkspace::setPageTexts(int page, const QString& shiori,
                                 const std::optional<QStringList>& note) {
    if (page < 0 || page >= m_pages.count()) {
        return;
    }
    m_pages.setShiori(page, shiori);
    m_pages.setNote(page, note && !note->isEmpty() ? note : std::nullopt);
    refreshItem(page);
}

bool PageWorkspace::deleteSelected() {
    QList<int> rows = selectedPages();
    const int current = selectedIndex();
    if (rows.isEmpty() && current >= 0 && current < m_pages.count()) {
        rows << current;
    }
    if (rows.isEmpty()) {
        return false;
    }
    // From the last, so the rows before it keep their pages.
    for (auto row = rows.crbegin(); row != rows.crend(); ++row) {
        const APageList* page = &m_pages.at(*row);
        m_pending.removeOne(page);
        m_blank.remove(page);
        if (m_intake.removeOne(page)) {
            --m_intakePages;
        }
        m_intakeBlank.remove(page);
        m_pages.remove(*row);
        delete m_view->takeItem(*row); // the items after it move up with their pages
    }
    // The view would step back to the page before when the last one goes; the next delete
    // must never work backwards through pages the operator has not looked at.
    const int first = rows.first();
    setSelectedIndex(first < m_pages.count() ? first : -1);
    reportIntakeWhenDone();
    return true;
}

bool PageWorkspace::moveSelected(int step) {
    const int selected = selectedIndex();
    const int destination = selected + step;
    if (isBusy() || selected < 0 || destination < 0 || destination >= m_pages.count()) {
        return false;
    }
    // A drop lands just before its target item, or at the end on empty space.
    std::optional<int> target = destination;
    if (step > 0) {
        target =
            destination + 1 < m_pages.count() ? std::optional<int>(destination + 1) : std::nullopt;
    }
    const auto refreshed = m_pages.dragMove(selected, target);
    if (!refreshed) {
        return false;
    }
    for (int row = refreshed->first; row <= refreshed->second; ++row) {
        refreshItem(row);
    }
    setSelectedIndex(destination);
    return true;
}

void PageWorkspace::waitForThumbnails() {
    m_builder->waitForFinished();
}

void PageWorkspace::refreshItem(int row) {
    QListWidgetItem* item = m_view->item(row);
    if (!item || row >= m_pages.count()) {
        return;
    }
    const APageList& page = m_pages.at(row);
    if (m_pending.contains(&page)) {
        item->setIcon(m_pendingIcon);
    } else if (page.ImageIndex >= 0 && page.ImageIndex < m_thumbnails.size()) {
        item->setIcon(m_thumbnails.at(page.ImageIndex));
    } else {
        item->setIcon(m_brokenIcon);
    }
    item->setText(page.Shiori);
    const bool blank = m_blank.contains(&page);
    item->setData(TPageListView::BlankRole, blank);
    item->setToolTip(blank ? page.ImageFile + QStringLiteral("\n白紙ページ") : page.ImageFile);
}

void PageWorkspace::onDropped(int source, int target) {
    if (isBusy()) {
        return; // the order must not change while thumbnails are being assigned
    }
    const auto refreshed =
        m_pages.dragMove(source, target < 0 ? std::nullopt : std::optional<int>(target));
    if (!refreshed) {
        return;
    }
    for (int row = refreshed->first; row <= refreshed->second; ++row) {
        refreshItem(row);
    }
}

void PageWorkspace::onCaptionEdited(int row, const QString& text) {
    if (row < 0 || row >= m_pages.count()) {
        return;
    }
    const QString cut = PageList::cutCaption(text);
    QListWidgetItem* item = m_view->item(row);
    if (cut != item->text()) {
        m_pages.setShiori(row, cut);
    }
    item->setText(cut);
}

int PageWorkspace::indexOf(const APageList* page) const {
    for (int i = 0; i < m_pages.count(); ++i) {
        if (&m_pages.at(i) == page) {
            return i;
        }
    }
    return -1;
}
