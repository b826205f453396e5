#pragma once

#include <QListWidget>

/// The list of page thumbnails: square icons with the bookmarks as captions. It reports what
/// the operator does (drags, clicks, caption edits); PageWorkspace decides what follows.
class TPageListView : public QListWidget {
    Q_OBJECT
public:
    explicit TPageListView(QWidget* parent = nullptr);

    void setThumbnailSide(int side);
    /// Row of the item at \p pos in viewport coordinates, or -1 over empty space.
    int rowAt(const QPoint& pos) const;

signals:
    /// Page \p source was dropped on the item at \p target, or on empty space (-1).
    void pageDropped(int source, int target);
    /// A mouse button other than the right one was released over item \p row (-1: empty space).
    void released(int row);
    /// The right button was released over item \p row.
    void rightReleased(int row);
    /// The operator finished editing the caption of \p row.
    void captionEdited(int row, const QString& text);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void commitData(QWidget* editor) override;

private:
    int m_dragSource = -1;
};
