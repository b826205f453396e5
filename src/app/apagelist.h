// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The page list: the chart being assembled, one entry per page image, in page order.

#include "app/scannerfolder.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

/// One page: its image file, its thumbnail, its note lines and its bookmark text.
struct APageList {
    QString ImageFile;
    int ImageIndex = -1;             ///< thumbnail index; -1 when the image could not be loaded
    std::optional<QStringList> Note; ///< note lines, or none
    QString Shiori;                  ///< bookmark text; empty when none
};

/// The pages in their order. Every change of what the chart will hold (append, delete, move,
/// caption, note, clear, the record of removed files) emits changed() once, so the view, the
/// page editor and a recovery journal can all follow one signal. The thumbnail index is the
/// view's bookkeeping and changes without it.
class PageList : public QObject {
    Q_OBJECT
public:
    explicit PageList(QObject* parent = nullptr) : QObject(parent) {}

    /// Largest bookmark typed as a caption, in code page 932 bytes.
    static constexpr int CaptionBytes = 18;

    int count() const { return static_cast<int>(m_pages.size()); }
    bool isEmpty() const { return m_pages.empty(); }
    const APageList& at(int index) const { return *m_pages.at(static_cast<size_t>(index)); }

    /// Appends \p page and returns it. Entries keep their address while they are in the list.
    /// A file of the record of removed files that comes back into the list leaves the record.
    const APageList& append(APageList page);
    /// Empties the list and the record of removed files: a new chart begins.
    void clear();
    /// Removes the entry at \p index; false when there is none. Its file, as it is at this
    /// moment (a page edited before with its edited file), joins removedFiles().
    bool remove(int index);

    /// The page files removed from this chart's list, each as it was when it was removed, in
    /// the order removed. A save that clears the scanner folder moves those still unchanged to
    /// the trash, so that the next intake never takes them into another patient's chart.
    const std::vector<scannerfolder::IdentifiedFile>& removedFiles() const { return m_removed; }
    /// Adds \p file to removedFiles(): a page left out by a rule, or the record read back from a
    /// journal. A file already recorded under its path is replaced.
    void recordRemoved(const scannerfolder::IdentifiedFile& file);
    /// The bookmark of the entry at \p index; a text equal to the old one changes nothing.
    void setShiori(int index, const QString& shiori);
    /// The note of the entry at \p index (none: no note).
    void setNote(int index, const std::optional<QStringList>& note);
    /// Which thumbnail shows \p page (an entry of this list); -1 when none could be made.
    void setImageIndex(const APageList& page, int imageIndex);

    /// Whether an entry's file has the name part \p fileName (exact comparison).
    bool containsFileName(const QString& fileName) const;

    /// Moves page \p source as a drop on list item \p target does (no target: empty space).
    /// Returns the first and last list positions whose items now show another page, or nothing
    /// when the order did not change.
    std::optional<std::pair<int, int>> dragMove(int source, std::optional<int> target);

    /// The bookmark that an edited caption gives: the text cut to 18 bytes on a character
    /// boundary.
    static QString cutCaption(const QString& text);

signals:
    void changed();

private:
    APageList* find(const APageList& page);

    std::vector<std::unique_ptr<APageList>> m_pages;
    std::vector<scannerfolder::IdentifiedFile> m_removed;
};
