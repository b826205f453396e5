#include "index/maintenance/tdbmainteform.h"

#include "index/chartindex.h"
#include "index/maintenance/maintenancerowmodel.h"
#include "index/maintenance/maintenancetexts.h"
#include "index/maintenance/statuspanels.h"
#include "index/windows/recordnavigator.h"
#include "platform/userprompts.h"
#include "settings/integertext.h"

#include <QHeaderView>
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

namespace {

/// Rows read at a time when the navigator goes to the last row.
constexpr int LastStepRows = 5000;

} // namespace

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
    connect(m_last, &QAction::triggered, this, [this] {
        if (!m_rows) {
            return;
        }
        while (m_rows->fetchRows(LastStepRows) > 0) {
        }
        moveTo(m_rows->rowCount() - 1);
    });
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
    // After a failed insert the table is closed for counting; the window opens all the same
    // and its searches work, so the panel then stays empty.
    const auto total = m_index.rowCount();
    m_status->setText(Panel::Count, total ? QString::number(*total) : QString());
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
                    if (m_rows && previous.isValid() && m_rows->pendingRow() == previous.row() &&
                        !m_rows->post(m_index)) {
                        m_status->setText(Panel::Message, texts::DatabaseFault);
                    }
                    updateNavigator();
                });
        connect(m_rows.get(), &QAbstractItemModel::dataChanged, this,
                &TDBMainteForm::updateNavigator);
        connect(m_rows.get(), &QAbstractItemModel::rowsInserted, this,
                &TDBMainteForm::updateNavigator);
    }
    updateNavigator();
}

void TDBMainteForm::search() {
    // A keyword typed but not posted is written before the rows are read again; when that
    // fails the search waits, so that the message is seen (the edit is dropped).
    m_grid->commitOpenEditor();
    if (m_rows && !m_rows->post(m_index)) {
        m_status->setText(Panel::Message, texts::DatabaseFault);
        updateNavigator();
        return;
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
    IndexCursor cursor = pidno ? m_index.patientRows(*pidno) : m_index.allRows();
    const auto count = cursor.count();
    if (!count) {
        setRows(nullptr);
        m_status->setText(Panel::Message, texts::SearchError);
        return;
    }
    setRows(std::make_unique<MaintenanceRowModel>(std::move(cursor)));
    if (!m_rows->error().isEmpty()) {
        setRows(nullptr);
        m_status->setText(Panel::Message, texts::SearchError);
        return;
    }
    if (*count > 0) {
        m_status->setText(Panel::Count, QString::number(*count));
    } else {
        m_status->setText(Panel::Message, texts::NoMatch);
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
    if (m_rows && !m_rows->post(m_index)) {
        m_status->setText(Panel::Message, texts::DatabaseFault);
    }
    updateNavigator();
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
    if (!m_rows->deleteRow(m_index, row)) {
        m_status->setText(Panel::Message, texts::DatabaseFault);
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
    m_post->setEnabled(m_rows && m_rows->pendingRow().has_value());
}

void TDBMainteForm::done(int result) {
    // A keyword typed but not posted is written when the window closes, not lost.
    m_grid->commitOpenEditor();
    post();
    QDialog::done(result);
}
