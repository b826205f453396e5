// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/apagelist.h"

#include "platform/cp932qt.h"

#include <QFileInfo>
#include <algorithm>

const APageList& PageList::append(APageList page) {
    std::erase_if(m_removed, [&](const auto& removed) { return removed.path == page.ImageFile; });
    m_pages.push_back(std::make_unique<APageList>(std::move(page)));
    emit changed();
    return *m_pages.back();
}

void PageList::clear() {
    if (m_pages.empty() && m_removed.empty()) {
        return;
    }
    m_pages.clear();
    m_removed.clear();
    emit changed();
}

bool PageList::remove(int index) {
    if (index < 0 || index >= count()) {
        return false;
    }
    const QString file = m_pages.at(static_cast<size_t>(index))->ImageFile;
    m_pages.erase(m_pages.begin() + index);
    // A file gone already leaves nothing to move out of intake's way.
    if (const auto identity = scannerfolder::identify(file)) {
        std::erase_if(m_removed, [&](const auto& removed) { return removed.path == file; });
        m_removed.push_back({file, *identity});
    }
    emit changed();
    return true;
}

void PageList::recordRemoved(const scannerfolder::IdentifiedFile& file) {
    std::erase_if(m_removed, [&](const auto& removed) { return removed.path == file.path; });
    m_removed.push_back(file);
    emit changed();
}

void PageList::setShiori(int index, const QString& shiori) {
    APageList& page = *m_pages.at(static_cast<size_t>(index));
    if (page.Shiori == shiori) {
        return;
    }
    page.Shiori = shiori;
    emit changed();
}

void PageList::setNote(int index, const std::optional<QStringList>& note) {
    APageList& page = *m_pages.at(static_cast<size_t>(index));
    if (page.Note == note) {
        return;
    }
    page.Note = note;
    emit changed();
}

APageList* PageList::find(const APageList& page) {
    const auto it = std::find_if(m_pages.begin(), m_pages.end(),
                                 [&](const auto& entry) { return entry.get() == &page; });
    return it == m_pages.end() ? nullptr : it->get();
}

void PageList::setImageIndex(const APageList& page, int imageIndex) {
    if (APageList* entry = find(page)) {
        entry->ImageIndex = imageIndex;
    }
}

bool PageList::containsFileName(const QString& fileName) const {
    return std::any_of(m_pages.begin(), m_pages.end(), [&](const auto& page) {
        return QFileInfo(page->ImageFile).fileName() == fileName;
    });
}

std::optional<std::pair<int, int>> PageList::dragMove(int source, std::optional<int> target) {
    const int last = count() - 1;
    if (source < 0 || source > last || (target && (*target < 0 || *target > last))) {
        return std::nullopt;
    }
    int destination = 0;
    std::pair<int, int> refreshed;
    if (!target) {
        destination = last; // dropped on empty space: to the end
        refreshed = {source, last};
    } else if (source < *target) {
        destination = *target - 1; // just before the target item
        refreshed = {source, *target - 1};
    } else if (*target < source) {
        destination = *target; // the target item shifts one place to the right
        refreshed = {*target, source};
    } else {
        return std::nullopt;
    }
    if (destination == source) {
        return std::nullopt;
    }
    auto moved = std::move(m_pages[static_cast<size_t>(source)]);
    m_pages.erase(m_pages.begin() + source);
    m_pages.insert(m_pages.begin() + destination, std::move(moved));
    emit changed();
    return refreshed;
}

QString PageList::cutCaption(const QString& text) {
    return cp932::qTruncate(text, CaptionBytes);
}
