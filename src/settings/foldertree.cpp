// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/foldertree.h"

#include "settings/tregistory.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>

FolderTree::FolderTree(QWidget* parent) : QTreeView(parent), m_model(new QFileSystemModel(this)) {
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_model->setReadOnly(true);
    m_model->setRootPath(QDir::rootPath());
    setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column) {
        hideColumn(column);
    }
    header()->hide();
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);

    // Folder contents arrive from the model's own thread and are sorted later still; each
    // listing of a folder above the selection adds rows above it.
    auto follow = [this] {
        if (m_follow) {
            scrollToSelection();
        }
    };
    connect(m_model, &QFileSystemModel::directoryLoaded, this, follow);
    connect(m_model, &QAbstractItemModel::layoutChanged, this, follow, Qt::QueuedConnection);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, follow, Qt::QueuedConnection);
}

bool FolderTree::isExistingFolder(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isAbsolute() && info.isDir();
}

void FolderTree::selectFolder(const QString& path) {
    const QString folder =
        QDir::cleanPath(isExistingFolder(path) ? path : TRegistory::defaultFolder());
    m_path = QDir::toNativeSeparators(folder);

    // The model builds the nodes of the path at once and fills in the siblings later.
    const QModelIndex home = m_model->index(TRegistory::defaultFolder());
    for (QModelIndex up = home; up.isValid(); up = up.parent()) {
        expand(up);
    }
    const QModelIndex index = m_model->index(folder);
    m_selecting = true;
    m_follow = false;
    if (index.isValid()) {
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) {
            expand(up);
        }
        setCurrentIndex(index);
        m_follow = true;
        scrollToSelection();
    } else {
        clearSelection();
        setCurrentIndex(QModelIndex());
    }
    m_selecting = false;
}

void FolderTree::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    // A tree filled before its dialog showed had no size to scroll in.
    scrollToSelection();
}

void FolderTree::mousePressEvent(QMouseEvent* event) {
    m_follow = false;
    QTreeView::mousePressEvent(event);
}

void FolderTree::wheelEvent(QWheelEvent* event) {
    m_follow = false;
    QTreeView::wheelEvent(event);
}

void FolderTree::keyPressEvent(QKeyEvent* event) {
    m_follow = false;
    QTreeView::keyPressEvent(event);
}

void FolderTree::scrollToSelection() {
    const QModelIndex index = currentIndex();
    if (!index.isValid()) {
        return;
    }
    scrollTo(index, QAbstractItemView::PositionAtCenter);
    // scrollTo also scrolls sideways to show as much of the row as it can, which hides the
    // tree and often the name's start. Stay at the left edge while the name's start shows
    // there; else bring the start of the name near the left.
    executeDelayedItemsLayout();
    QScrollBar* sideways = horizontalScrollBar();
    const int nameStart = visualRect(index).left() + sideways->value();
    const int room = viewport()->width();
    const int wanted = nameStart + std::min(visualRect(index).width(), room / 2) <= room
                           ? 0
                           : nameStart - indentation();
    sideways->setValue(std::max(0, wanted));
}

void FolderTree::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    if (m_selecting || !current.isValid()) {
        return;
    }
    m_path = QDir::toNativeSeparators(m_model->filePath(current));
    emit folderChosen(m_path);
}
