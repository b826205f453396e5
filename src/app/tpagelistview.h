// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>
#include <QUrl>
#include <functional>

class QDrag;
class QMimeData;

/// The list of page thumbnails: square icons with the bookmarks as captions. It reports what
/// the operator does (drags, clicks, caption edits); PageWorkspace decides what follows.
///
/// The current item is the page the page commands act on, so the view keeps it highlighted:
/// the selection follows every move of the current item (mouse, arrows, Home/End, PgUp/PgDn)
/// and nothing takes the highlight off it. Ctrl+click and Shift+click add pages to the
/// selection, for the commands that act on every selected page (deleting, straightening); the
/// current item is always one of them. The right button is kept for the page editor and
/// neither moves nor selects.
///
/// A page found blank carries a mark on its thumbnail (BlankRole).
class TPageListView : public QListWidget {
    Q_OBJECT
public:
    /// Item data: true for a page found blank.
    static constexpr int BlankRole = Qt::UserRole + 1;

    explicit TPageListView(QWidget* parent = nullptr);

    /// Rows of the selected items, in page order.
    QList<int> selectedRows() const;
    /// Selects exactly \p rows and makes the first of them current; none: nothing selected.
    void selectRows(const QList<int>& rows);

    void setThumbnailSide(int side);
    /// Row of the item at \p pos in viewport coordinates, or -1 over empty space.
    int rowAt(const QPoint& pos) const;

    /// What the item of \p row shows under its thumbnail: the page number on one line and the
    /// caption below it. Editing the caption edits the caption alone.
    QString shownText(int row) const;

    /// Runs the drag of a page once it started; the default hands it to the platform. Tests put
    /// a runner here that delivers the drag's events themselves.
    using DragRunner = std::function<Qt::DropAction(QDrag&)>;
    void setDragRunner(DragRunner runner);

signals:
    /// Page \p source was dropped on the item at \p target, or on empty space (-1).
    void pageDropped(int source, int target);
    /// A mouse button other than the right one was released over item \p row (-1: empty space).
    void released(int row);
    /// The right button was released over item \p row; the current item has not moved.
    void rightReleased(int row);
    /// The operator finished editing the caption of \p row.
    void captionEdited(int row, const QString& text);
    /// Enter on the current item or a double click on an item: the keyboard's and the left
    /// button's way to what the right button does.
    void openRequested(int row);
    /// Something from outside the list was dropped on it: its local files, or no file at all
    /// when the drop held anything else (text, a web link, a page of another list).
    void filesDropped(const QStringList& files);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void commitData(QWidget* editor) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

private:
    bool isOwnDrag(const QMimeData* mime) const;

    int m_dragSource = -1;
    DragRunner m_dragRunner;
};
