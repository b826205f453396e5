// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/apagelist.h"
#include "app/pageimages.h"

#include "analysis/blankpage.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QSet>
#include <optional>

class TPageListView;
class ThumbnailBuilder;
class TRegistory;

/// The page list together with its thumbnails and its view: intake appends pages here, the
/// operator reorders, captions and deletes them, and saving reads them.
class PageWorkspace : public QObject {
    Q_OBJECT
public:
    PageWorkspace(TPageListView* view, const TRegistory& settings, QObject* parent = nullptr);
    ~PageWorkspace() override;

    PageList& pages() { return m_pages; }
    const PageList& pages() const { return m_pages; }
    TPageListView* view() const { return m_view; }

    /// The page the page commands act on: the view's current, highlighted item, or -1.
    int selectedIndex() const;
    /// Makes page \p index the current, highlighted one, and the only one selected; out of
    /// range: none.
    void setSelectedIndex(int index);
    /// Every selected page, in page order (the current one among them).
    QList<int> selectedPages() const;
    /// Selects exactly \p pages; the first becomes the current one.
    void selectPages(const QList<int>& pages);

    /// The blank-page check made with every thumbnail from now on; none: no check, no marks.
    void setBlankCheck(const std::optional<blankpage::Thresholds>& thresholds);
    /// Whether page \p index was found blank.
    bool isBlank(int index) const;
    /// The pages found blank, in page order.
    QList<int> blankPages() const;

    /// True while thumbnails are being made; commands that change the page list wait.
    bool isBusy() const;

    /// Frees every entry, empties the list items and resets the thumbnails.
    void clearPages();
    /// Appends one entry per file, with its list item; thumbnails follow in page order.
    void appendPages(const QStringList& paths);
    /// Rebuilds every thumbnail and list item; false when there are no pages.
    bool rebuildThumbnails();
    /// Makes the thumbnail of \p page again (after its image file was rewritten).
    void remakeThumbnail(int page);
    /// Shows \p thumbnail, made from the rewritten file of \p page elsewhere, for that page;
    /// a thumbnail that failed leaves the old one.
    void replaceThumbnail(int page, const pageimages::Thumbnail& thumbnail);
    /// What the page editor hands back for \p page: its bookmark, also shown as the caption of
    /// its item, and its note (none: no note).
    void setPageTexts(int page, const QString& shiori, const std::optional<QStringList>& note);
    /// Deletes every selected page; the selected index then designates the page after the
    /// first of them, or none when no page follows.
    bool deleteSelected();
    /// Moves the page at the selected index one place towards the start (\p step -1) or the
    /// end (+1), keeping it selected; false when it is at that end already or none is selected.
    bool moveSelected(int step);
    /// Blocks until every thumbnail has arrived.
    void waitForThumbnails();

    /// Side of the thumbnails now in use.
    int thumbnailSide() const { return m_side; }
    /// The thumbnail image at \p imageIndex (for tests and the page editor).
    QIcon thumbnail(int imageIndex) const { return m_thumbnails.value(imageIndex); }
    /// Number of thumbnails made since the last reset.
    int thumbnailCount() const { return static_cast<int>(m_thumbnails.size()); }

signals:
    void busyChanged(bool busy);
    /// The selected index changed (a click, a key, a deletion, a new page list).
    void selectedIndexChanged();
    void thumbnailProgress(int done, int total);
    /// The operator asked to edit a page (right click on it, Enter, or a double click).
    void editRequested(int page);
    /// The pages of the last appendPages() have all been looked at: \p blank of the \p pages
    /// taken in were found blank (pages deleted meanwhile not counted). Only with a check.
    void intakeChecked(int pages, int blank);

private:
    void resetThumbnails();
    void refreshItem(int row);
    void startPendingThumbnails();
    void onThumbnailReady(int job, const pageimages::Thumbnail& thumbnail);
    void onDropped(int source, int target);
    void onCaptionEdited(int row, const QString& text);
    int indexOf(const APageList* page) const;
    void onReleased(int row);
    void takeVerdict(const APageList& page, const pageimages::Thumbnail& thumbnail);
    void reportIntakeWhenDone();

    TPageListView* m_view;
    const TRegistory& m_settings;
    ThumbnailBuilder* m_builder;
    PageList m_pages;
    QList<QIcon> m_thumbnails;
    QList<const APageList*> m_pending;  // pages waiting for their thumbnail, in page order
    QList<const APageList*> m_jobPages; // page of each job of the running build
    int m_side = 64;
    QIcon m_brokenIcon;
    QIcon m_pendingIcon;
    bool m_wasBusy = false;
    std::optional<blankpage::Thresholds> m_blankCheck;
    QSet<const APageList*> m_blank;       // pages found blank
    QList<const APageList*> m_intake;     // pages of the last intake not yet looked at
    int m_intakePages = -1;               // pages of the last intake; -1: reported
    QSet<const APageList*> m_intakeBlank; // of them, those found blank
};
