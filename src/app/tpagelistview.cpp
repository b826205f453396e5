// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tpagelistview.h"

#include <QDrag>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {
const QString dragFormat = QStringLiteral("application/x-pelorafile-page");

/// Paints each item with its page number above its caption, and the mark of a blank page over
/// the top of its thumbnail.
class PageItemDelegate final : public QStyledItemDelegate {
public:
    explicit PageItemDelegate(TPageListView* view) : QStyledItemDelegate(view), m_view(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.data(TPageListView::BlankRole).toBool()) {
            paintBlankMark(painter, option);
        }
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        // The text layout breaks lines only at line separators, as the delegate's own display
        // text has them.
        option->text = m_view->shownText(index.row()).replace(u'\n', QChar::LineSeparator);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // The view sizes every item like the first, which may have no caption: each item keeps
        // room for the number and a caption of two lines.
        const QSize hint = QStyledItemDelegate::sizeHint(option, index);
        const int lines = 3 * option.fontMetrics.lineSpacing();
        return QSize(std::max(hint.width(), m_view->gridSize().width() - 4),
                     std::max(hint.height(), m_view->iconSize().height() + lines + 8));
    }

private:
    /// A band across the top of the thumbnail saying "白紙", in a colour no scan is likely to
    /// have there, so it shows on any page at any thumbnail size.
    void paintBlankMark(QPainter* painter, const QStyleOptionViewItem& option) const {
        const QSize icon = m_view->iconSize();
        const QRect thumbnail(option.rect.left() + (option.rect.width() - icon.width()) / 2,
                              option.rect.top() + 2, icon.width(), icon.height());
        const int height = std::max(14, icon.height() / 5);
        const QRect band(thumbnail.left(), thumbnail.top(), thumbnail.width(), height);
        painter->save();
        painter->fillRect(band, QColor(230, 120, 0, 220));
        QFont font = option.font;
        font.setBold(true);
        font.setPixelSize(std::max(10, height - 4));
        painter->setFont(font);
        painter->setPen(Qt::white);
        painter->drawText(band, Qt::AlignCenter, QStringLiteral("白紙"));
        painter->restore();
    }

    TPageListView* m_view;
};

/// The local files a drop from outside carries; empty when it carries anything else too.
QStringList droppedFiles(const QMimeData* mime) {
    QStringList files;
    if (!mime->hasUrls()) {
        return files;
    }
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        files << url.toLocalFile();
    }
    return files;
}

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
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    // Drops land on the viewport, which a static movement has just told to refuse them.
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setFrameShape(QFrame::StyledPanel);
    setItemDelegate(new PageItemDelegate(this));
    m_dragRunner = [](QDrag& drag) { return drag.exec(Qt::MoveAction); };
}

void TPageListView::setThumbnailSide(int side) {
    setIconSize(QSize(side, side));
    // Room under the thumbnail for the page number and a caption of two lines.
    setGridSize(QSize(side + 24, side + 24 + 3 * fontMetrics().lineSpacing()));
}

QString TPageListView::shownText(int row) const {
    const QListWidgetItem* entry = item(row);
    if (!entry) {
        return {};
    }
    const QString number = QString::number(row + 1);
    return entry->text().isEmpty() ? number : number + u'\n' + entry->text();
}

void TPageListView::setDragRunner(DragRunner runner) {
    m_dragRunner = std::move(runner);
}

bool TPageListView::isOwnDrag(const QMimeData* mime) const {
    // The list's own drag names this view and the page; a drag of another window or program
    // that happens to use the format is not one of ours.
    return m_dragSource >= 0 && mime->hasFormat(dragFormat) &&
           mime->data(dragFormat) == QByteArray::number(reinterpret_cast<quintptr>(this)) + ':' +
                                         QByteArray::number(m_dragSource);
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
    mime->setData(dragFormat, QByteArray::number(reinterpret_cast<quintptr>(this)) + ':' +
                                  QByteArray::number(m_dragSource));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->setPixmap(item->icon().pixmap(iconSize() / 2));
    // The drop moves the page itself; nothing is removed here. Qt deletes the drag once done.
    m_dragRunner(*drag);
    m_dragSource = -1;
}

void TPageListView::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void TPageListView::dragMoveEvent(QDragMoveEvent* event) {
    if (isOwnDrag(event->mimeData())) {
        event->acceptProposedAction();
    } else if (event->possibleActions().testFlag(Qt::CopyAction)) {
        // Anything from outside may be dropped, so that a refusal can say why; it is only ever
        // copied, never moved away from where it came from.
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TPageListView::dropEvent(QDropEvent* event) {
    if (isOwnDrag(event->mimeData())) {
        const int source = m_dragSource;
        m_dragSource = -1;
        event->setDropAction(Qt::CopyAction); // keeps the view from removing the dragged item
        event->accept();
        emit pageDropped(source, rowAt(event->position().toPoint()));
        return;
    }
    if (!event->possibleActions().testFlag(Qt::CopyAction)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit filesDropped(droppedFiles(event->mimeData()));
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

QList<int> TPageListView::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
        rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TPageListView::selectRows(const QList<int>& rows) {
    QItemSelection selection;
    for (int row : rows) {
        const QModelIndex index = model()->index(row, 0);
        if (index.isValid()) {
            selection.select(index, index);
        }
    }
    if (selection.isEmpty()) {
        setCurrentRow(-1);
        return;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    selectionModel()->setCurrentIndex(selection.indexes().first(), QItemSelectionModel::NoUpdate);
}

void TPageListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QListWidget::currentChanged(current, previous);
    // Some moves make an item current without selecting it (the first focus of the list). A
    // Ctrl+click that adds a page makes it current before it selects it: the pages chosen so
    // far stay.
    if (!current.isValid()) {
        selectionModel()->clearSelection();
    } else if (!selectionModel()->hasSelection()) {
        selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
    }
}

void TPageListView::selectionChanged(const QItemSelection& selected,
                                     const QItemSelection& deselected) {
    QListWidget::selectionChanged(selected, deselected);
    // A Ctrl+click that takes one page out of several leaves it current: the current page
    // moves to one that is still chosen, so the page commands never act on an unchosen page.
    const QModelIndex current = currentIndex();
    if (current.isValid() && !selectionModel()->isSelected(current) &&
        selectionModel()->hasSelection()) {
        selectionModel()->setCurrentIndex(selectionModel()->selectedIndexes().first(),
                                          QItemSelectionModel::NoUpdate);
    }
}

QItemSelectionModel::SelectionFlags TPageListView::selectionCommand(const QModelIndex& index,
                                                                    const QEvent* event) const {
    // Ctrl+click and Ctrl+Space would deselect the only chosen page and leave it current, so a
    // page command would act on a page that no longer shows as chosen.
    const auto flags = QListWidget::selectionCommand(index, event);
    const bool takesOff = flags.testFlag(QItemSelectionModel::Deselect) ||
                          (flags.testFlag(QItemSelectionModel::Toggle) && index.isValid() &&
                           selectionModel()->isSelected(index));
    const bool onlyOne = selectionModel()->selectedIndexes().size() <= 1;
    return takesOff && onlyOne ? QItemSelectionModel::NoUpdate : flags;
}

bool TPageListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // A Ctrl+ or Shift+click on a chosen page changes which pages are chosen; it does not
    // start editing the caption.
    if (trigger == SelectedClicked && event &&
        (event->type() == QEvent::MouseButtonRelease ||
         event->type() == QEvent::MouseButtonPress)) {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (mouse->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) {
            return false;
        }
    }
    return QListWidget::edit(index, trigger, event);
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
