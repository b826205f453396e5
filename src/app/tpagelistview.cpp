#include "app/tpagelistview.h"

#include <QDrag>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>

namespace {
const QString dragFormat = QStringLiteral("application/x-pelorafile-page");

/// True for mouse events of the right button alone, which the list itself never sees.
bool rightButtonOnly(const QMouseEvent* event) {
    return event->button() == Qt::RightButton ||
           (event->button() == Qt::NoButton && event->buttons() == Qt::RightButton);
}
} // namespace

TPageListView::TPageListView(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("ListView"));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static); // pages move by the drop rules, not freely on the canvas
    setResizeMode(QListView::Adjust);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setUniformItemSizes(true);
    setWordWrap(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setFrameShape(QFrame::StyledPanel);
}

void TPageListView::setThumbnailSide(int side) {
    setIconSize(QSize(side, side));
    setGridSize(QSize(side + 24, side + 40));
}

int TPageListView::rowAt(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    return index.isValid() ? index.row() : -1;
}

void TPageListView::startDrag(Qt::DropActions) {
    QListWidgetItem* item = currentItem();
    if (!item) {
        return;
    }
    // The page being dragged is the one the drag started on.
    m_dragSource = row(item);
    auto* mime = new QMimeData;
    mime->setData(dragFormat, QByteArray::number(m_dragSource));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(item->icon().pixmap(iconSize() / 2));
    drag->exec(Qt::MoveAction); // the drop moves the page itself; nothing is removed here
    m_dragSource = -1;
}

void TPageListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this && event->mimeData()->hasFormat(dragFormat)) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TPageListView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->source() == this && event->mimeData()->hasFormat(dragFormat)) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TPageListView::dropEvent(QDropEvent* event) {
    if (event->source() != this || m_dragSource < 0) {
        event->ignore();
        return;
    }
    const int source = m_dragSource;
    m_dragSource = -1;
    event->setDropAction(Qt::CopyAction); // keeps the view from removing the dragged item
    event->accept();
    emit pageDropped(source, rowAt(event->position().toPoint()));
}

void TPageListView::mousePressEvent(QMouseEvent* event) {
    if (rightButtonOnly(event)) {
        event->accept(); // QListWidget would make the item under the cursor current
        return;
    }
    QListWidget::mousePressEvent(event);
}

void TPageListView::mouseMoveEvent(QMouseEvent* event) {
    if (rightButtonOnly(event)) {
        event->accept(); // dragging with the right button held must not select either
        return;
    }
    QListWidget::mouseMoveEvent(event);
}

void TPageListView::mouseReleaseEvent(QMouseEvent* event) {
    const int row = rowAt(event->position().toPoint());
    if (rightButtonOnly(event)) {
        event->accept();
        if (row >= 0) {
            emit rightReleased(row);
        }
        return;
    }
    QListWidget::mouseReleaseEvent(event);
    emit released(row);
}

void TPageListView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (rightButtonOnly(event)) {
        event->accept();
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
    const int row = rowAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && row >= 0) {
        emit openRequested(row);
    }
}

void TPageListView::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && state() != QAbstractItemView::EditingState && currentRow() >= 0) {
        event->accept();
        emit openRequested(currentRow());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TPageListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListWidget::currentChanged(current, previous);
    // Some moves make an item current without selecting it (the first focus of the list).
    if (!current.isValid()) {
        selectionModel()->clearSelection();
    } else if (!selectionModel()->isSelected(current)) {
        selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
    }
}

QItemSelectionModel::SelectionFlags TPageListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    // Ctrl+click and Ctrl+Space would deselect the current page and leave it current, so a
    // page command would act on a page that no longer shows as chosen.
    const auto flags = QListWidget::selectionCommand(index, event);
    return flags.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate : flags;
}

void TPageListView::commitData(QWidget* editor) {
    // The caption is not written straight into the item: the workspace cuts it first.
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        const QModelIndex index = currentIndex();
        if (index.isValid()) {
            emit captionEdited(index.row(), line->text());
        }
    }
}
