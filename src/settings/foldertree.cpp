#include "settings/foldertree.h"

#include "settings/tregistory.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>

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

    // Folder contents arrive from the model's own thread; once the folder that holds the
    // selection is listed, its rows exist and the selection can be scrolled into view.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (!m_scrollPending.isEmpty() && QDir::cleanPath(loaded) == m_scrollPending) {
            m_scrollPending.clear();
            scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
        }
    });
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
    if (index.isValid()) {
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) {
            expand(up);
        }
        setCurrentIndex(index);
        scrollTo(index, QAbstractItemView::PositionAtCenter);
        m_scrollPending = QDir::cleanPath(m_model->filePath(index.parent()));
    } else {
        clearSelection();
        setCurrentIndex(QModelIndex());
    }
    m_selecting = false;
}

void FolderTree::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    if (m_selecting || !current.isValid()) {
        return;
    }
    m_path = QDir::toNativeSeparators(m_model->filePath(current));
    emit folderChosen(m_path);
}
