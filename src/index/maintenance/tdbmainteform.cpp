// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/maintenance/tdbmainteform.h"

#include "index/chartindex.h"
#include "index/indexjob.h"
#include "index/maintenance/maintenancerowmodel.h"
#include "index/maintenance/maintenancetexts.h"
#include "index/maintenance/statuspanels.h"
#include "index/windows/recordnavigator.h"
#include "platform/backgroundjob.h"
#include "platform/userprompts.h"
#include "settings/integertext.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

namespace texts = maintenance::texts;
using Panel = StatusPanels::Panel;

/// The grid, able to hand a cell still being typed into its model before a post, a search or
/// a deletion acts on the row.
class MaintenanceGrid : public QTableView {
public:
    using QTableView::QTableView;

    /// Told when a cell editor opens: what is typed there can be posted before it is closed.
    std::function<void()> editingStarted;

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override {
        const bool opened = QTableView::edit(index, trigger, event);
        if (opened && editingStarted) {
            editingStarted();
        }
        return opened;
    }

public:
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }

    void commitOpenEditor() {
        if (state() != QAbstractItemView::EditingState) {
            return;
        }
        for (auto* editor : viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (editor->isVisible()) {
                commitData(editor);
                closeEditor(editor, QAbstractItemDelegate::NoHint);
            }
        }
    }
};

TDBMainteForm::TDBMainteForm(ChartIndex& index, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_index(index), m_prompts(prompts), m_edit1(new QLineEdit(this)),
      m_grid(new MaintenanceGrid(this)), m_status(new StatusPanels(this)) {
    setObjectName(QStringLiteral("DBMainteForm"));
    setWindowTitle(QStringLiteral("データベースメンテナンス（全件）"));
    setModal(true);
    resize(800, 520);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("Navigator"));
    bar->setIconSize(QSize(20, 20));
    const RecordNavigator navigator = addRecordNavigator(bar);
    m_first = navigator.first;
    m_prior = navigator.prior;
    m_next = navigator.next;
    m_last = navigator.last;
    m_delete = addHintedTool(bar, QStyle::SP_DialogDiscardButton, QStringLiteral("レコードの削除"),
                             QStringLiteral("Delete"));
    m_post = addHintedTool(bar, QStyle::SP_DialogApplyButton, QStringLiteral("レコードの登録"),
                           QStringLiteral("Post"));
    bar->addSeparator();
    m_edit1->setObjectName(QStringLiteral("Edit1"));
    m_edit1->setToolTip(QStringLiteral("患者番号"));
    m_edit1->setAccessibleName(m_edit1->toolTip());
    QFont large = m_edit1->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    m_edit1->setFont(large);
    m_edit1->setMaxLength(12);
    m_edit1->setFixedWidth(150);
    bar->addWidget(m_edit1);
    bar->addSeparator();
    m_search = addHintedTool(bar, QStyle::SP_FileDialogContentsView, QStringLiteral("検索"),
                             QStringLiteral("Search"));
    layout->addWidget(bar);

    m_grid->setObjectName(QStringLiteral("Grid"));
    m_grid->setAccessibleName(QStringLiteral("索引の行"));
    m_grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_status);

    connect(m_first, &QAction::triggered, this, [this] { moveTo(0); });
    connect(m_prior, &QAction::triggered, this, [this] { moveTo(currentRow() - 1); });
    connect(m_next, &QAction::triggered, this, [this] {
        if (m_rows && currentRow() + 1 >= m_rows->rowCount()) {
            m_rows->fetchRows(IndexRowModel::FetchRows);
        }
        moveTo(currentRow() + 1);
    });
    connect(m_last, &QAction::triggered, this, &TDBMainteForm::moveToLast);
    m_grid->installEventFilter(this);
    m_grid->editingStarted = [this] { updateNavigator(); };
    connect(m_delete, &QAction::triggered, this, &TDBMainteForm::deleteCurrentRow);
    connect(m_post, &QAction::triggered, this, &TDBMainteForm::post);
    connect(m_search, &QAction::triggered, this, &TDBMainteForm::search);
    updateNavigator();
}

TDBMainteForm::~TDBMainteForm() {
    m_grid->setModel(nullptr); // the view lets go of the rows before they go
}

QTableView* TDBMainteForm::grid() const {
    return m_grid;
}

void TDBMainteForm::prepareToShow() {
    // The rows of the whole index are counted on a background job: the window opens at once,
    // and the count shows when it comes (a count that fails leaves the panel empty).
    m_total.reset();
    m_status->setText(Panel::Count, QString());
    if (m_totalCounter) {
        m_totalCounter->stop();
        m_totalCounter->deleteLater();
    }
    TDBMainteForm* self = this;
    m_totalCounter =
        BackgroundJob::start(this, [self, folder = m_index.programFolder()](JobContext& job) {
            std::optional<qint64> total;
            chartindex::withReadingIndex(
                job, folder, [&](ChartIndex& index) { total = index.rowCount(); }, nullptr);
            job.send([self, total] {
                self->m_totalCounter->deleteLater();
                self->m_totalCounter = nullptr;
                self->showTotal(total);
            });
        });
}

void TDBMainteForm::showTotal(std::optional<qint64> total) {
    m_total = total;
    m_status->setText(Panel::Count, total ? QString::number(*total) : QString());
}

void TDBMainteForm::moveToLast() {
    if (m_rows) {
        m_grid->commitOpenEditor();
        m_rows->readToEnd();
    }
}

bool TDBMainteForm::eventFilter(QObject* watched, QEvent* event) {
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

void TDBMainteForm::execute() {
    prepareToShow();
    m_prompts.exec(*this);
}

int TDBMainteForm::currentRow() const {
    return m_rows ? m_grid->currentIndex().row() : -1;
}

void TDBMainteForm::setRows(std::unique_ptr<MaintenanceRowModel> rows) {
    m_grid->setModel(rows.get());
    m_rows = std::move(rows);
    if (m_rows) {
        for (int column = 0; column < IndexRowModel::ColumnCount; ++column) {
            if (const int width = MaintenanceRowModel::maintenanceWidth(column)) {
                m_grid->setColumnWidth(column, width);
            }
        }
        m_rows->fetchRows(IndexRowModel::FetchRows);
        if (m_rows->rowCount() > 0) {
            m_grid->setCurrentIndex(m_rows->index(0, IndexRowModel::Key1));
        }
        // Moving to another row writes the edit of the row that was left.
        connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex&, const QModelIndex& previous) {
                    if (m_rows && previous.isValid() && m_rows->pendingRow() == previous.row()) {
                        showOutcome(m_rows->post(m_index));
                    }
                    updateNavigator();
                });
        connect(m_rows.get(), &QAbstractItemModel::dataChanged, this,
                &TDBMainteForm::updateNavigator);
        connect(m_rows.get(), &QAbstractItemModel::rowsInserted, this,
                &TDBMainteForm::updateNavigator);
        connect(m_rows.get(), &IndexRowModel::readToEndFinished, this, [this](bool ok) {
            if (!ok) {
                m_status->setText(Panel::Message, texts::SearchError);
            }
            moveTo(m_rows->rowCount() - 1);
        });
        connect(m_rows.get(), &IndexRowModel::counted, this, &TDBMainteForm::showTotal);
    }
    updateNavigator();
}

void TDBMainteForm::search() {
    // A keyword typed but not posted is written before the rows are read again; when that
    // fails the search waits, so that the message is seen (the edit is dropped).
    m_grid->commitOpenEditor();
    if (m_rows) {
        const auto outcome = m_rows->post(m_index);
        if (outcome == MaintenanceRowModel::ChangeOutcome::Failed) {
            showOutcome(outcome);
            updateNavigator();
            return;
        }
    }
    m_status->setText(Panel::Message, QString());
    std::optional<int> pidno;
    if (!m_edit1->text().isEmpty()) {
        pidno = parseSignedInteger(m_edit1->text());
        if (!pidno || *pidno <= 0 || *pidno > 99999999) {
            m_status->setText(Panel::Message, texts::PatientNumberError);
            return; // the previous result stays in the grid
        }
    }
    if (m_totalCounter) {
        // The search's own count takes the panel.
        m_totalCounter->stop();
        m_totalCounter->deleteLater();
        m_totalCounter = nullptr;
    }
    IndexCursor cursor = pidno ? m_index.patientRows(*pidno) : m_index.allRows();
    setRows(std::make_unique<MaintenanceRowModel>(std::move(cursor)));
    if (!m_rows->error().isEmpty()) {
        setRows(nullptr);
        m_status->setText(Panel::Message, texts::SearchError);
        return;
    }
    if (m_rows->rowCount() == 0) {
        m_status->setText(Panel::Message, texts::NoMatch); // the count keeps its number
        return;
    }
    if (m_rows->atEnd()) {
        showTotal(m_rows->rowCount());
    } else {
        m_status->setText(Panel::Count, QString());
        m_rows->startCount(); // the count of a long result shows when the job has it
    }
}

void TDBMainteForm::moveTo(int row) {
    if (!m_rows || row < 0 || row >= m_rows->rowCount()) {
        return;
    }
    m_grid->commitOpenEditor();
    const int column = std::max(0, m_grid->currentIndex().column());
    m_grid->setCurrentIndex(m_rows->index(row, column));
    m_grid->scrollTo(m_grid->currentIndex());
}

void TDBMainteForm::post() {
    m_grid->commitOpenEditor();
    if (m_rows) {
        showOutcome(m_rows->post(m_index));
    }
    updateNavigator();
}

void TDBMainteForm::showOutcome(MaintenanceRowModel::ChangeOutcome outcome) {
    using Outcome = MaintenanceRowModel::ChangeOutcome;
    switch (outcome) {
    case Outcome::Unchanged:
    case Outcome::Written:
        break;
    case Outcome::ChangedElsewhere:
        m_status->setText(Panel::Message, texts::ChangedElsewhere);
        break;
    case Outcome::DeletedElsewhere:
        m_status->setText(Panel::Message, texts::DeletedElsewhere);
        break;
    case Outcome::Failed:
        m_status->setText(Panel::Message, texts::DatabaseFault);
        break;
    }
}

void TDBMainteForm::deleteCurrentRow() {
    const int row = currentRow();
    if (row < 0) {
        return;
    }
    m_grid->commitOpenEditor();
    if (m_prompts.question(this, windowTitle(), texts::DeleteQuestion,
                           QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok) {
        return;
    }
    // Only the row goes: the chart file stays in the archive, and the registration check
    // lists it again.
    const auto outcome = m_rows->deleteRow(m_index, row);
    showOutcome(outcome);
    if (m_total && (outcome == MaintenanceRowModel::ChangeOutcome::Written ||
                    outcome == MaintenanceRowModel::ChangeOutcome::DeletedElsewhere)) {
        showTotal(*m_total - 1); // the count follows the rows that are gone
    }
    if (m_rows->rowCount() == 0 && m_rows->canFetchMore()) {
        m_rows->fetchRows(IndexRowModel::FetchRows);
    }
    updateNavigator();
}

void TDBMainteForm::updateNavigator() {
    const int row = currentRow();
    const int rows = m_rows ? m_rows->rowCount() : 0;
    const bool more = m_rows && m_rows->canFetchMore();
    m_first->setEnabled(row > 0);
    m_prior->setEnabled(row > 0);
    m_next->setEnabled(row >= 0 && (row + 1 < rows || more));
    m_last->setEnabled(row >= 0 && (row + 1 < rows || more));
    m_delete->setEnabled(row >= 0);
    // "レコードの登録" also posts a keyword still being typed in its cell.
    m_post->setEnabled(m_rows && (m_rows->pendingRow().has_value() || m_grid->isEditing()));
}

void TDBMainteForm::done(int result) {
    // A keyword typed but not posted is written when the window closes, not lost.
    m_grid->commitOpenEditor();
    post();
    QDialog::done(result);
}
