// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The folder tree of the settings dialogs: the file system's folders from "/" down, so the
/// home folder, the root and the mounted drives (under /media, /mnt, /run/media) are reachable.

#include <QString>
#include <QTreeView>

class QFileSystemModel;

class FolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    /// Selects \p path when it is an existing folder, else the home folder, expands the tree
    /// down to it (and to the home folder's contents) and scrolls it into view. Emits no
    /// folderChosen().
    void selectFolder(const QString& path);

    /// The selected folder, with native separators. A folder that the tree does not list (a
    /// hidden one, say) still counts as selected when selectFolder() was given it.
    QString selectedPath() const { return m_path; }

    /// Whether \p path names an existing folder by an absolute path. A relative path would
    /// depend on the program's working folder.
    static bool isExistingFolder(const QString& path);

signals:
    /// The operator selected \p path in the tree, by mouse or keyboard.
    void folderChosen(const QString& path);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// Scrolls the selected folder into the middle of the view, with the start of its name in
    /// sight and the tree only as far to the side as that needs.
    void scrollToSelection();

    QFileSystemModel* m_model;
    QString m_path;
    // Folder listings arrive and are sorted after the selection was made, each pushing it
    // down: the view follows the selection until the operator uses the tree.
    bool m_follow = false;
    bool m_selecting = false;
};
