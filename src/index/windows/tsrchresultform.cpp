// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/windows/tsrchresultform.h"

#include "index/windows/indexmessages.h"
#include "index/windows/indexrowmodel.h"
#include "index/windows/recordnavigator.h"
#include "platform/urlopener.h"

#include <QAction>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

TSrchResultForm::TSrchResultForm(UrlOpener& opener, QWidget* parent)
    : QDialog(parent), m_opener(opener) {
    setObjectName(QStringLiteral("SrchResultForm"));
    setWindowTitle(QStringLiteral("検索結果"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(720, 420);

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setIconSize(QSize(20, 20));
    const RecordNavigator navigator = addRecordNavigator(bar);
    m_first = navigator.first;
    m_prior = navigator.prior;
    m_next = navigator.next;
    m_last = navigator.last;
    bar->addSeparator();
    m_show = addHintedTool(bar, QStyle::SP_FileDialogContentsView, QStringLiteral("表示"),
                           QStringLiteral("ShowChart"));
    connect(m_first, &QAction::triggered, this, [this] { moveTo(0); });
    connect(m_prior, &QAction::triggered, this, [this] { moveTo(currentRow() - 1); });
    connect(m_next, &QAction::triggered, this, [this] { moveTo(currentRow() + 1); });
    connect(m_last, &QAction::triggered, this, &TSrchResultForm::moveToLast);
    connect(m_show, &QAction::triggered, this, &TSrchResultForm::showCurrentChart);

    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setAccessibleName(QStringLiteral("検索結果"));
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->verticalHeader()->setFixedWidth(14);
    // Enter or a double click on a row opens its chart, as "表示" does.
    connect(m_grid, &QAbstractItemView::activated, this, &TSrchResultForm::showCurrentChart);
    m_grid->installEventFilter(this);

    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    m_countPanel = new QLabel(status);
    m_countPanel->setObjectName(QStringLiteral("RecordCount"));
    m_countPanel->setMinimumWidth(120);
    m_messagePanel = new QLabel(status);
    m_messagePanel->setObjectName(QStringLiteral("Message"));
    status->addWidget(m_countPanel);
    status->addWidget(m_messagePanel, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_grid, 1);
    layout->addWidget(status);
    updateNavigator();
}

TSrchResultForm::~TSrchResultForm() {
    m_grid->setModel(nullptr); // the view lets go of the rows before they go
}

void TSrchResultForm::setRows(std::unique_ptr<IndexRowModel> rows,
                              std::optional<qint64> recordCount) {
    m_grid->setModel(rows.get());
    m_rows = std::move(rows);
    for (int column = 0; column < IndexRowModel::ColumnCount; ++column) {
        m_grid->setColumnWidth(column, IndexRowModel::resultWidth(column));
    }
    m_messagePanel->clear();
    if (recordCount) {
        m_countPanel->setText(QString::number(*recordCount));
    } else {
        m_countPanel->clear();
        connect(m_rows.get(), &IndexRowModel::counted, this, [this](std::optional<qint64> count) {
            if (count) {
                m_countPanel->setText(QString::number(*count));
            } else {
                m_messagePanel->setText(indexmessages::SearchFailed);
            }
            emit recordCountShown();
        });
        m_rows->startCount();
    }
    if (m_rows->rowCount() == 0) {
        m_rows->fetchRows(IndexRowModel::FetchRows);
    }
    connect(m_rows.get(), &IndexRowModel::readToEndFinished, this, [this](bool ok) {
        if (!ok) {
            m_messagePanel->setText(indexmessages::SearchFailed);
        }
        moveTo(m_rows->rowCount() - 1);
        emit reachedLast();
    });
    connect(m_rows.get(), &QAbstractItemModel::rowsInserted, this,
            &TSrchResultForm::updateNavigator);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TSrchResultForm::updateNavigator);
    moveTo(0);
}

void TSrchResultForm::releaseRows() {
    m_grid->setModel(nullptr);
    m_rows.reset(); // a count or a read still running goes with its rows
    updateNavigator();
}

QAction* TSrchResultForm::navigator(Navigate which) const {
    switch (which) {
    case Navigate::First:
        return m_first;
    case Navigate::Prior:
        return m_prior;
    case Navigate::Next:
        return m_next;
    case Navigate::Last:
        break;
    }
    return m_last;
}

QString TSrchResultForm::recordCountText() const {
    return m_countPanel->text();
}

QString TSrchResultForm::messageText() const {
    return m_messagePanel->text();
}

int TSrchResultForm::currentRow() const {
    return m_rows && m_grid->currentIndex().isValid() ? m_grid->currentIndex().row() : -1;
}

void TSrchResultForm::moveTo(int row) {
    if (!m_rows) {
        return;
    }
    if (row >= m_rows->rowCount() && m_rows->canFetchMore()) {
        m_rows->fetchRows(IndexRowModel::FetchRows);
    }
    row = std::clamp(row, 0, m_rows->rowCount() - 1);
    if (row < 0) {
        updateNavigator();
        return;
    }
    const QModelIndex target = m_rows->index(row, std::max(0, m_grid->currentIndex().column()));
    m_grid->setCurrentIndex(target);
    m_grid->scrollTo(target);
    updateNavigator();
}

void TSrchResultForm::moveToLast() {
    if (m_rows) {
        m_rows->readToEnd();
    }
}

bool TSrchResultForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // The grid alone would stop at the rows read so far.
        if (key->key() == Qt::Key_End && key->modifiers() == Qt::ControlModifier) {
            moveToLast();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSrchResultForm::updateNavigator() {
    const int row = currentRow();
    const bool any = m_rows && m_rows->rowCount() > 0;
    const bool atLast = !m_rows || (m_rows->atEnd() && row >= m_rows->rowCount() - 1);
    m_first->setEnabled(any && row > 0);
    m_prior->setEnabled(any && row > 0);
    m_next->setEnabled(any && !atLast);
    m_last->setEnabled(any && !atLast);
    m_show->setEnabled(any);
}

void TSrchResultForm::showCurrentChart() {
    m_messagePanel->clear();
    const int row = currentRow();
    if (row < 0) {
        return;
    }
    const QString path = m_rows->rowAt(row).filePath;
    if (!QFileInfo(path).isFile()) {
        m_messagePanel->setText(indexmessages::FileNotFound);
        return;
    }
    m_opener.open(QUrl::fromLocalFile(path));
}
